// SPDX-License-Identifier: MIT
// A day's measurements go one way, from names to counts: the station's style names the day's
// files, the listing of the measurement folder tells which of them exist, each of those is
// opened and its line 3 read, and what it holds becomes the day's measurement of that minute.
// The figure draws what this reading gives (observation_plot.h) and the check of a set-up
// (driver/check.h) reports it, so the check sees what a run would draw.
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
#include <string>
#include <string_view>
#include <vector>

#include "observations/observation_folder.h"
#include "observations/station.h"
#include "state/plot_state.h"
#include "util/input_file.h"

namespace norvane {

// One measurement, as its file and its file's name give it.
struct Measurement {
  int hour = 0;         // 0 to 23
  int minute_slot = 0;  // 1 to 60, minute 0 being slot 60 (the last of its hour)
  // In tenths of MHz, as read; empty for a measurement without a value.
  std::optional<double> value;

  int minute() const { return minute_slot % 60; }
};

// The value of a value field in tenths of MHz: characters 1 and 2 with blanks trimmed, followed
// by character 4 (character 3, the decimal point, is skipped whatever it holds), read as a
// number. Empty when the field holds no number.
std::optional<double> parse_observed_value(std::string_view value_field);

// Reads the measurement of `hour` and `minute_slot` from its opened file, reading no more than
// its first page whatever its size: nothing when the file could not be read, holds fewer than
// three lines, or holds no three lines in its first page (measurement_error tells which).
std::optional<Measurement> read_measurement(InputFile& file, int hour, int minute_slot);
// Why read_measurement gave nothing: an errno value, too_few_lines or larger_than_a_measurement.
int measurement_error(const InputFile& file);

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

}  // namespace norvane
