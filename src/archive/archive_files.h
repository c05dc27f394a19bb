// SPDX-License-Identifier: MIT
// The archive is the subfolder "previous_foF2_plots" of the forecast folder. For each day it
// holds the day's picture, the day's record (what the picture was drawn from, as JSON) and the
// same measurements as CSV, named after the day's year and day of the year; and an index, one
// file a year and index.json (state/file_names.h names them all).
#pragma once

#include <optional>
#include <string>

#include "state/day.h"
#include "state/plot_state.h"

namespace norvane {

// The archive folder of the forecast folder of `state`, ending in "/".
std::string archive_folder_of(const PlotState& state);

struct ArchiveDayFiles {
  std::string picture;  // "<archive>/2026339.gif"
  std::string record;   // "<archive>/2026339.json"
  std::string csv;      // "<archive>/2026339.csv"
};
ArchiveDayFiles archive_day_files(const std::string& archive_dir, const Day& day);

// Why a run as root may not write in the archive folder `archive_dir`, or nothing when it may.
// The archive folder lies in the forecast folder, which belongs to the account the station runs
// as: whoever has that account could make the archive folder a link to any folder and have a
// run by root write there. So a run as root follows such a link only when root made it.
std::optional<std::string> archive_link_refused(const std::string& archive_dir);

}  // namespace norvane
