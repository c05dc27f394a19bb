// SPDX-License-Identifier: MIT
// The operator who reports a fault in a picture needs to say which libgd drew it: the program is
// linked statically, so the version installed on the machine may not be the one inside it. Only
// surface/ and export/ see libgd's headers, so the version they were built with is read here.
#pragma once

#include <string>

namespace norvane {

// The version of libgd the program was built with, such as "2.3.3".
std::string gd_version();

}  // namespace norvane
