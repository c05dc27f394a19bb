// SPDX-License-Identifier: MIT
// A day's measurements go one way: the listing of the measurement folder tells the station, the
// station's style names the day's files, the listing tells which of them exist, each of those is
// opened and its line 3 read, and what it holds becomes the day's measurement of that minute.
// The archive then merges them with what it recorded of the day (archive/archive_rule.h), and
// the figure draws what comes out (observation_plot.h). The check of a set-up (driver/check.h)
// reports the same reading, so the check sees what a run would draw.
//
// A measurement file gives, in characters 16 to 19 of its line 3, the value ("12.3", " 5.4")
// or "N/A". "N/A", a field that holds no number, or a number beyond the 16-bit range once
// rounded, is a measurement without a value. A file that the listing shows but that cannot be
// opened or read, that holds fewer than three lines (emptied while being uploaded again, say),
// or whose first page holds no three lines (no measurement is that large), gives nothing and is
// counted apart: the day's figure then lacks a measurement it should show. Whatever its size, a
// file costs at most one page of reading.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "observations/measurement_listing.h"
#include "observations/observation_folder.h"
#include "observations/station.h"
#include "state/measurement.h"
#include "state/plot_state.h"
#include "util/diagnostics.h"
#include "util/input_file.h"

namespace norvane {

// The value of a value field in tenths of MHz: characters 1 and 2 with blanks trimmed, followed
// by character 4 (character 3, the decimal point, is skipped whatever it holds), read as a
// number. Empty when the field holds no number.
std::optional<double> parse_observed_value(std::string_view value_field);

// Reads the measurement of `hour` and `minute_slot` from its opened file (leaving its `file`
// empty), reading no more than its first page whatever its size: nothing when the file could not
// be read, holds fewer than three lines, or holds no three lines in its first page
// (measurement_error tells which).
std::optional<Measurement> read_measurement(InputFile& file, int hour, int minute_slot);
// Why read_measurement gave nothing: an errno value, too_few_lines or larger_than_a_measurement.
int measurement_error(const InputFile& file);

// The counts of `measurements`, with and without a value, and the newest of them.
PlotState::DayCounts count_measurements(std::span<const Measurement> measurements);

// What the files of one day gave.
struct DayReading {
  // In the order of the day's slots: hour by hour, and within an hour minutes 01 to 59, then 00.
  std::vector<Measurement> measurements;
  PlotState::DayCounts counts;
  // The files that the listing showed and that gave nothing: how many, the first (its name, to
  // put after observation_dir) and why (an errno value, not_a_regular_file or too_few_lines).
  int unreadable = 0;
  std::string first_unreadable;
  int first_error = 0;
};

// Reads the files of the day that `names` names (in the station's style, with the hour and
// minute texts of `state`) and that the listing `folder` shows.
DayReading read_day(const ObservationFolder& folder, const DayFileNames& names,
                    const PlotState& state);

// What the measurement folder gives the day at state.day_index.
struct DaySight {
  // Whether the station's data could be seen. It cannot when the folder was refused or is
  // missing, cannot be listed, holds no file, names no known station, or was told by a stray file
  // (state.station_unseen); each is reported as a failure, once.
  bool seen = false;
  Station station;     // the station the folder tells, when seen
  DayReading reading;  // the day's files, when seen
};

// Looks at the measurement folder for the day at state.day_index, through `listing` (kept from
// day to day), and reads the day's files; sets state.day_measurements to what it found. The
// files that the listing shows but that cannot be read or hold too little are noted in
// `listing`, to be reported once for the run.
DaySight look_at_day(PlotState& state, MeasurementListing& listing, Diagnostics& diagnostics);

}  // namespace norvane
