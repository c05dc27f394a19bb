// SPDX-License-Identifier: MIT
// What a run drew and wrote, for the programs that watch a station rather than look at its
// pictures: the record beside the pictures, which the web page reads to caption them, and the
// metrics file, which monitoring reads to tell when a station goes quiet. The run fills it in
// as it goes, a day at a time; the writers of those files only read it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

// The wall clock, in UTC. The program passes the real one; tests pass a fixed time.
using Clock = std::function<std::chrono::sys_seconds()>;

inline std::chrono::sys_seconds system_clock_now() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

// What became of a picture.
enum class PictureOutcome {
  not_written,  // not asked for (a backfill writes no current picture), or its folder unusable
  written,      // it holds the day's figure now
  unchanged,    // it held the day's figure already; only its time was renewed
  kept,         // an existing picture was kept as it was (the archive rules)
  failed,       // it could not be written (reported)
};

// Where a day's figure got its measurements from.
enum class DrawnFrom {
  nothing,            // the station's data could not be seen, and the day has no record
  folder,             // the measurement files the folder holds now
  record,             // the day's record alone: the station's data could not be seen
  folder_and_record,  // the folder's files, and recorded measurements whose files are gone
};

// The newest measurement drawn of a day.
struct NewestMeasurement {
  // Its time of day in minutes after 00:00 UT (0 to 1439), as its file name gives it.
  int minute = 0;
  // Its value in MHz, when it has one; the forecast of the day's month at its hour; the value
  // the forecast curve shows at its time; and how far the value lies from that, in percent of
  // it (each when there is one).
  std::optional<double> value_mhz;
  std::optional<double> forecast_mhz;
  std::optional<double> curve_mhz;
  std::optional<double> deviation_percent;
  bool operator==(const NewestMeasurement&) const = default;
};

// A measurement with a value: its time of day, in minutes after 00:00 UT, and its value.
struct MeasuredValue {
  int minute = 0;
  double value_mhz = 0;
  bool operator==(const MeasuredValue&) const = default;
};

// The first and the last day that the archive has a picture of, as its index tells them (none
// of either in an empty archive).
struct ArchiveRange {
  std::optional<std::chrono::year_month_day> first;
  std::optional<std::chrono::year_month_day> last;
  bool operator==(const ArchiveRange&) const = default;
};

// What the index and the run record tell of a day: its counts of measurements with a value (red
// dots) and without one (green ticks), its newest measurement, its lowest and highest value and
// how far its values lie from the forecast curve on average, in percent, over the measurements
// with a value where the curve is drawn and not 0.
struct DayFigures {
  int with_value = 0;
  int without_value = 0;
  std::optional<NewestMeasurement> newest;
  std::optional<double> min_mhz;
  std::optional<double> max_mhz;
  std::optional<double> mean_deviation_percent;
  bool operator==(const DayFigures&) const = default;
};

// A day's lowest and highest value, each with the time of the earliest measurement that has it
// (the run record gives them; the index gives the values alone, as DayFigures' min_mhz and
// max_mhz, which are these).
struct DayExtremes {
  std::optional<MeasuredValue> lowest;
  std::optional<MeasuredValue> highest;
  bool operator==(const DayExtremes&) const = default;
};

// One day's figure and what became of its pictures.
struct DaySummary {
  using Picture = PictureOutcome;

  // The day's place in its table of six days: 1 is five days before the table's last day, 6
  // the last day (in a run, today).
  int slot = 0;
  // The day drawn, as the date line of its figure prints it ("Date: 05/12/2026").
  std::chrono::year_month_day date{};
  std::string date_label;
  // File names, without their folders: the archive picture ("2026339.gif") and the current
  // picture ("plotfoF21.gif"; empty in a backfill, which writes none).
  std::string archive_name;
  std::string current_name;

  // The measurements the figure was drawn from, and the times of its lowest and highest value.
  DayFigures figures;
  DayExtremes extremes;
  DrawnFrom drawn_from = DrawnFrom::folder;

  Picture current = Picture::not_written;
  Picture archive = Picture::not_written;
};

// What one run, or one backfill, did.
struct RunSummary {
  // The name of the working folder (the folder that holds the settings file), which names the
  // station on a machine that runs several: "rome" for /srv/norvane/rome/.
  std::string station_folder;
  // The station as its files tell it: the first line of the measurement file it was told by,
  // as the file gives it (any bytes); empty when no station was told.
  std::string station;
  // The local date the run's six days end with.
  std::chrono::year_month_day today{};
  // When the run started and when it ended, in UTC.
  std::chrono::sys_seconds started{};
  std::chrono::sys_seconds finished{};
  // The six days of a run, in the order drawn. A backfill, whose range may be years long,
  // keeps none: it hands each day on as it is drawn and keeps only the totals below.
  std::vector<DaySummary> days;
  // Totals over every day drawn: the pictures written (new or unchanged, current and archive),
  // the existing archive pictures kept as they were, and the time of the newest measurement
  // file drawn, from its name (the day and its minute, in UTC).
  int pictures_written = 0;
  int archive_pictures_kept = 0;
  std::optional<std::chrono::sys_seconds> newest_measurement;
  // That measurement: its value and the forecast curve's at its time, as its day gives them.
  std::optional<NewestMeasurement> newest;
  // The archive's range once the run brought its index up to date; none when the index could
  // not be told (no usable archive folder).
  std::optional<ArchiveRange> archive;
  // The days drawn without a forecast curve (no forecast file, or one without a value).
  int days_without_forecast = 0;
  // Whether any day was drawn: a run that could not start (the lock not had, the settings
  // refused) leaves the pictures as they were, and the totals above tell nothing of them.
  bool drew = false;
  // Whether the run succeeded (its exit status is 0).
  bool success = false;
  // The warnings the run printed, each counted once.
  int warnings = 0;
};

}  // namespace norvane
