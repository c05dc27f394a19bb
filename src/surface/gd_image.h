// SPDX-License-Identifier: MIT
// libgd stays at the edge of the system: only the drawing surface and the image converter use
// it, and they hold its pictures through this owner, so that no picture is ever leaked or freed
// twice, whatever path a failure takes.
#pragma once

#include <memory>

struct gdImageStruct;

namespace norvane {

struct GdImageDeleter {
  void operator()(gdImageStruct* image) const noexcept;
};

using GdImage = std::unique_ptr<gdImageStruct, GdImageDeleter>;

}  // namespace norvane
