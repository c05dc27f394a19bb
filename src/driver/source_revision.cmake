# SPDX-License-Identifier: MIT
# Writes the header that names the source revision a build is made from, for --version: what
# `git describe --always --dirty` says of the source folder, or nothing where that folder is not
# the top of a git checkout (an unpacked source archive, which may lie inside another checkout).
# Run at configure time and again at each build (cmake -P), so that a new commit or an edit is
# seen without a new configure; the header is rewritten only when the revision changes, so that
# an unchanged one rebuilds nothing.
#
#   cmake -DNORVANE_SOURCE_DIR=<source> -DNORVANE_REVISION_HEADER=<header> -P source_revision.cmake
set(norvane_revision "")
find_program(NORVANE_GIT git)
if(NORVANE_GIT)
  execute_process(COMMAND "${NORVANE_GIT}" -C "${NORVANE_SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE norvane_top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE norvane_status ERROR_QUIET)
  file(REAL_PATH "${NORVANE_SOURCE_DIR}" norvane_source)
  if(norvane_status EQUAL 0 AND norvane_top)
    file(REAL_PATH "${norvane_top}" norvane_top)
  endif()
  if(norvane_status EQUAL 0 AND norvane_top STREQUAL norvane_source)
    execute_process(COMMAND "${NORVANE_GIT}" -C "${NORVANE_SOURCE_DIR}" describe --always --dirty
                    OUTPUT_VARIABLE norvane_described OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE norvane_status ERROR_QUIET)
    if(norvane_status EQUAL 0 AND norvane_described MATCHES "^[A-Za-z0-9._+-]+$")
      set(norvane_revision "${norvane_described}")
    endif()
  endif()
endif()
file(CONFIGURE OUTPUT "${NORVANE_REVISION_HEADER}" @ONLY CONTENT [=[
// The source revision of this build, written by src/driver/source_revision.cmake.
#pragma once

#include <string_view>

namespace norvane {

// What `git describe --always --dirty` said of the source (for example "v1.2.0-3-g9b3ecb9-dirty");
// empty when the source was not a git checkout.
inline constexpr std::string_view source_revision = "@norvane_revision@";

}  // namespace norvane
]=])
