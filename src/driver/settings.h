// SPDX-License-Identifier: MIT
// The settings file is the program's only configuration: it sits in the working folder and
// names, on lines 2, 4 and 6, the folder of the monthly forecasts (which also holds the
// temporary BMP and the archive subfolder), the folder of the station's measurement files and
// the folder of the current pictures. Lines 1, 3 and 5 are free text for the operator. Its name
// is in the table of the program's own files (state/file_names.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "state/plot_state.h"
#include "util/diagnostics.h"

namespace norvane {

// The folder a settings line names, as a prefix of the file names in it: every "\" becomes
// "/", and a relative folder (an empty one included) is taken inside `work_dir`. Nothing is
// trimmed and no separator is added: a folder line without its closing separator is glued to
// the file names.
std::string folder_value(const std::string& work_dir, std::string_view line);

// Sets `work_dir` to `current_dir` with a closing "/", then reads the first six lines of the
// settings file found there into `forecast_dir`, `observation_dir` and `picture_dir`. A folder
// whose line is missing, or all three when the file is, stays the working folder; that costs
// the run its configuration and is reported as a failure. A folder line that is not plain text
// (a NUL or another control character in it) is refused, which is a failure too, and its
// folder marked as refused. A folder line that names a folder without its closing separator,
// or begins or ends with a blank, is used as written, with a warning. Returns false when the
// file is no settings file at all (UTF-16 text): then the run must read and write nothing.
// A folder that does not exist is marked missing and reported as a failure (before anything
// else about it). When `lines_as_written` is given, the lines read are left in it as the file
// gives them, and missing folders are left for the caller to report: a report of the set-up
// shows them with the other folders.
bool read_settings(PlotState& state, const std::string& current_dir, Diagnostics& diagnostics,
                   std::vector<std::string>* lines_as_written = nullptr);

}  // namespace norvane
