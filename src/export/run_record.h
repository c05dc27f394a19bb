// SPDX-License-Identifier: MIT
// The pictures tell a person what the station measured, but not which days they show, when they
// were drawn or from how much: a page that captions them, or a script that watches the station,
// would have to guess from its own clock. So each run also writes what it drew, as JSON, beside
// what it drew: the run record, plotfoF2.json in the picture folder, with the station, the six
// days with their dates, slots and picture names, when the run started and ended, and for each
// day the number of measurements drawn and the newest of them. (The archive keeps its own
// records and index: archive/.)
//
// It is an interface for other programs: it names its format and version, and is written as the
// pictures are, through a temporary file and a rename. docs/files.md describes every field.
#pragma once

#include <string>

#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

// Writes the run record of `summary` in `picture_dir` (a prefix of file names, ending in "/").
// A failure is reported to `diagnostics`.
void write_run_record(const std::string& picture_dir, const RunSummary& summary,
                      Diagnostics& diagnostics);

}  // namespace norvane
