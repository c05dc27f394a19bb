// SPDX-License-Identifier: MIT
#include "surface/gd_image.h"

#include <gd.h>

namespace norvane {

void GdImageDeleter::operator()(gdImageStruct* image) const noexcept { gdImageDestroy(image); }

}  // namespace norvane
