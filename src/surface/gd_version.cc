// SPDX-License-Identifier: MIT
#include "surface/gd_version.h"

#include <gd.h>

namespace norvane {

std::string gd_version() {
  return std::to_string(GD_MAJOR_VERSION) + "." + std::to_string(GD_MINOR_VERSION) + "." +
         std::to_string(GD_RELEASE_VERSION) + GD_EXTRA_VERSION;
}

}  // namespace norvane
