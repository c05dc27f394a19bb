// SPDX-License-Identifier: MIT
// The values that the steps of a run hand to one another: the folders named by the settings
// file, the table of the six days, the hour and minute texts of the measurement-file names, the
// plot margins and the day being drawn. One PlotState lives for the whole run; the procedures of
// the run read and write its fields directly. Counters and working texts that serve a single
// procedure are local variables of that procedure.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "state/bounded_array.h"
#include "state/day.h"
#include "state/run_summary.h"

namespace norvane {

struct PlotState {
  // Widths, in user units, of the bands around the plot area that hold the labels.
  std::int16_t margin_top = 0;
  std::int16_t margin_bottom = 0;
  std::int16_t margin_right = 0;
  std::int16_t margin_left = 0;

  // The folder the run started in, always ending in "/"; it only serves to find the settings.
  std::string work_dir;

  // The day being drawn: 1 is five days before today, 6 is today.
  std::int16_t day_index = 0;

  // Three-digit day of the year of each day ("001" to "366").
  BoundedArray<std::string, 1, 6> doy_codes;
  // Hour texts of the measurement-file names, written for hours 0 to 23 by the station's style.
  BoundedArray<std::string, 0, 24> hour_codes;
  // "01" to "59" at 1 to 59 and "00" at 60: minute 0 is the last of an hour's slots.
  BoundedArray<std::string, 1, 60> minute_labels;

  // Folders from the settings file. Each is used as a plain prefix of the file names in it, so
  // it ends in "/" when it names a folder; a folder given relative to the working folder has the
  // working folder put in front of it.
  std::string observation_dir;
  std::string picture_dir;
  std::string forecast_dir;
  // Whether a folder of the settings can be used. A folder line that is not plain text (it
  // holds a NUL or another control character) is refused, and a folder that does not exist is
  // missing: nothing is read or written through either, and the cause is reported once.
  enum class FolderStatus { usable, refused, missing };
  FolderStatus observation_dir_status = FolderStatus::usable;
  FolderStatus picture_dir_status = FolderStatus::usable;
  FolderStatus forecast_dir_status = FolderStatus::usable;

  // What the measurement folder gave the day being drawn.
  enum class DayMeasurements {
    drawn,       // files of the day were read
    none_found,  // the folder holds no file of the day
    not_seen,    // the folder cannot be listed, holds no file at all, names no known station, or
                 // holds no file of its station for any of the days drawn
    unreadable,  // a file of the day that the folder shows could not be read, or held nothing
  };
  DayMeasurements day_measurements = DayMeasurements::drawn;
  // The measurements the day's figure was drawn from, with a value and without one, and the
  // newest of them: its time (minutes after 00:00 UT) and its value in tenths of MHz.
  struct DayCounts {
    int files_with_value = 0;
    int files_without_value = 0;
    std::optional<int> newest_minute;
    std::optional<double> newest_value;
    int files() const { return files_with_value + files_without_value; }
  };
  DayCounts day_counts;
  // The forecast of the day's month, in tenths of MHz, for 0 to 23 UT: empty hours have no
  // value, and all are empty when the forecast could not be read.
  std::array<std::optional<std::int16_t>, 24> day_forecast{};
  // Set for the whole run when the measurement folder holds files but none of the station's
  // for any of the days drawn: a stray file told the wrong station, so no day is seen.
  bool station_unseen = false;
  // The slot of today in the table of days: 6 in a run; in a backfill, whose table may end
  // before today, 7 when today is not in it.
  std::int16_t today_slot = 6;

  // A backfill of past days writes the archive pictures only.
  bool archive_only = false;
  // A backfill asked to redraw replaces archive pictures with what the folder holds now.
  bool redraw_archive = false;
  // The archive rules keep the day's existing archive picture as it is (archive/archive_rule.h).
  bool keep_archive = false;
  // What the export did with the day's current and archive pictures.
  PictureOutcome current_outcome = PictureOutcome::not_written;
  PictureOutcome archive_outcome = PictureOutcome::not_written;

  // Forecast-file base name of each day: two-digit month, then four-digit year ("032024").
  BoundedArray<std::string, 1, 6> forecast_names;
  // Date of each day as dd/mm/yyyy.
  BoundedArray<std::string, 1, 6> date_labels;
  // Each day of the table, in all its forms: doy_codes, forecast_names and date_labels at an
  // index are those of the day at that index.
  BoundedArray<Day, 1, 6> days;
};

}  // namespace norvane
