// SPDX-License-Identifier: MIT
// The archive index, in the archive folder: index.json (the years that have pictures, the first
// and the last day) and one file a year, <yyyy>.json, listing the days that have a picture with
// their counts where they are known. An interface for other programs: each file names its format
// and version, and is written as the pictures are, through a temporary file and a rename.
#pragma once

#include <span>
#include <string>

#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

// Brings the archive index in `archive_dir` (ending in "/") up to date with `days`, the days just
// drawn. A day whose archive picture was written or found unchanged gets its entry from its
// summary; a day whose picture was kept as it was keeps the entry it has, or gets one without
// counts. A year file is read only when a day of that year may change it, and rewritten only
// when it does change; the archive folder is then listed, so that days whose picture is gone are
// dropped and pictures without an entry get one (without counts). A missing or damaged index
// file is rebuilt from the listing. Failures are reported to `diagnostics`.
void update_archive_index(const std::string& archive_dir, std::span<const DaySummary> days,
                          Diagnostics& diagnostics);

}  // namespace norvane
