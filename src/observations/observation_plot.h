// SPDX-License-Identifier: MIT
// Each figure shows the foF2 values the station measured that day. The day's minutes are tried
// hour by hour, and within an hour in the order 01, 02, ..., 59, 00: the file of hh:00 comes
// after hh:59. Each measurement file that exists is read, and its line 3 gives, in characters 16
// to 19, the value ("12.3", " 5.4") or "N/A":
//
// - a value is a filled red dot at x = 10 per hour + minute_offset(minute), y = the value in
//   tenths of MHz; it is joined by a red line to the value dot drawn before it that day when
//   that dot lies exactly 2 or 3 units to its left and its value is not 0;
// - "N/A", or a field that holds no number or a number beyond the 16-bit range once rounded, is
//   a measurement without a value: a short green tick from y = 1 to 8 at its x, which leaves the
//   trace of value dots as it was.
//
// A file of fewer than three lines draws nothing. Dots and lines are not clipped to the frame.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "observations/observation_folder.h"
#include "state/plot_state.h"
#include "surface/drawing_surface.h"
#include "util/diagnostics.h"
#include "util/input_file.h"

namespace norvane {

// x offset of a minute (0 to 59) within its hour: the minute divided by 6, rounded to the
// nearest, halves down, that is (minute + 2) / 6. Minutes 58 and 59 land on the next hour's x.
int minute_offset(int minute);

// The value of a value field in tenths of MHz: characters 1 and 2 with blanks trimmed, followed
// by character 4 (character 3, the decimal point, is skipped whatever it holds), read as a
// number. Empty when the field holds no number.
std::optional<double> parse_observed_value(std::string_view value_field);

// What the slot loop of one day carries from file to file.
struct ObservationDay {
  const PlotState& state;
  DrawingSurface& surface;
  std::string current_line;         // the line last read
  std::int16_t obs_prev_x = 0;      // x of the last value dot
  std::int16_t obs_prev_value = 0;  // its value in tenths of MHz, rounded; 0 before any
};

// Reads the opened measurement file of `hour` (0 to 23) and `minute_slot` (1 to 60) and draws
// its value or its tick.
void plot_observation_file(ObservationDay& day, InputFile& file, int hour, int minute_slot);

// The listing of the measurement folder, for the files of the day drawn and the days after it,
// kept from one day's figure to the next while the folder does not change; and the files it
// showed that could not be read, which the run reports once.
class MeasurementListing {
 public:
  // A day to be drawn: its month and year (as file_previsioni) and its day of the year.
  struct Day {
    std::string file_previsioni;
    std::string doy_code;
  };
  // The days that will be drawn, in order, so that a listing made for one day is made for the
  // days after it too: a backfill draws a year of days from one listing. Without them, the days
  // after state.day_index in the table of days are taken.
  void plan_days(std::vector<Day> days) { planned_days_ = std::move(days); }

  // A listing of state.observation_dir for `day_stems` (the stems of the day drawn): the one
  // kept when it is for them and the folder is unchanged, else a new one, which is also for the
  // days after state.day_index when it can be kept for them.
  const ObservationFolder& current(const PlotState& state, std::span<const std::string> day_stems);

  // Notes a file of a day, shown by the listing, that could not be opened or read (`error`).
  void note_unreadable(const std::string& path, int error);
  // Reports the files noted, as one failure: how many, the first and the system's reason.
  void report_unreadable(Diagnostics& diagnostics) const;

 private:
  std::optional<ObservationFolder> folder_;
  std::vector<Day> planned_days_;
  int unreadable_count_ = 0;
  std::string first_unreadable_;
  int first_unreadable_error_ = 0;
};

// Recognises the station from the measurement folder and draws the measurements of the day at
// state.day_index, whose month and year are `file_previsioni`; sets state.day_measurements to
// what the folder gave the day. A file that the listing shows but that cannot be opened or read
// is noted in `listing` (a file gone since the listing, or a folder under a file's name, is
// simply not there).
void grafico_valori_autoscalati(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                                const std::string& file_previsioni, MeasurementListing& listing);

}  // namespace norvane
