// SPDX-License-Identifier: MIT
// Once a station's measurement files are cleared, what it measured would survive only as the
// pixels of the archive pictures. So beside each archive picture the archive keeps the day's
// record: the station, the forecast as drawn and every measurement drawn (its time, its file's
// name and its value), from which the picture can be drawn again exactly, and which a
// researcher, the page or a script can read back. A run merges it with what the folder holds
// (archive/archive_rule.h), so that a clean-up job never thins a day, and it tells whose day it
// is, so that no other station's run replaces it. Beside it, the same measurements as CSV for
// people and spreadsheets.
//
// The record is rewritten only when what it records changes: its "drawn_at" tells when the
// figure last changed, and a run that finds the day as recorded writes nothing, as it keeps an
// unchanged picture. Its head (what comes before its measurements: the station, the forecast,
// the day's figures and a digest of the measurements) tells a run, at the cost of reading a few
// hundred bytes, whose day it is and whether the folder holds just what it records, and the
// index what to list; the whole record is read only when the folder holds something else. The
// picture is written first, then the CSV, then the record, so that a run killed in between leaves a
// record that the next run finds out of date and writes again. docs/files.md describes both files.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_files.h"
#include "archive/json_file.h"
#include "forecast/forecast_file.h"
#include "state/day.h"
#include "state/encoded_picture.h"
#include "state/measurement.h"
#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

// The station of a day, as the first line of the measurement file that told it gives it.
struct RecordedStation {
  std::string first_line;
  int style = 0;  // 1 to 6

  // Whether `other` is the same station: the same style, and a first line that begins with the
  // same four characters (which tell the station).
  bool is(const RecordedStation& other) const;
  bool operator==(const RecordedStation&) const = default;
};

struct DayRecord {
  Day day;
  // None when no station could be told (the picture then shows the forecast alone).
  std::optional<RecordedStation> station;
  // The forecast curve as drawn, in tenths of MHz; an hour without a value has none.
  ForecastValues forecast{};
  // Every measurement drawn, in time order.
  std::vector<Measurement> measurements;
  // When the figure was drawn ("2026-12-05T14:35:02Z") and by which program.
  std::string drawn_at;
  std::string program;
  // How the picture drawn was encoded as GIF (state/encoded_picture.h); none when no picture
  // was saved, or in a record of an earlier version.
  std::optional<EncodedPicture> picture;

  // Whether `other` records the same figure: the same station, forecast and measurements, when
  // and by which version aside.
  bool same_figure(const DayRecord& other) const;
};

// What the index and the run record tell of a day (state/run_summary.h), from its record.
DayFigures figures_of(const DayRecord& record);
// The same, given the record's extremes (extremes_of), so that a caller that wants both walks
// the measurements for them once.
DayFigures figures_of(const DayRecord& record, const DayExtremes& extremes);

// A day's lowest and highest value with their times (state/run_summary.h), from its record.
DayExtremes extremes_of(const DayRecord& record);
// The JSON of one of them: {"time": "HH:MM", "value_mhz": x}, or null.
Json measured_value_json(const std::optional<MeasuredValue>& value);

// A record's head: whose day it is, the forecast drawn, the figures of its measurements, how
// its picture was encoded, and a digest of the measurements drawn.
struct RecordHead {
  std::optional<RecordedStation> station;
  ForecastValues forecast{};
  DayFigures figures;
  std::optional<EncodedPicture> picture;
  std::string digest;
  bool operator==(const RecordHead&) const = default;
};
RecordHead head_of(const DayRecord& record);

// The digest of `measurements` (in any order): 16 hexadecimal digits, which another set of
// measurements (another time, file name or value) gives with no likelihood worth a thought.
std::string measurements_digest(std::span<const Measurement> measurements);

// The record of a day drawn from `measurements` (in any order) with `forecast`.
DayRecord make_day_record(const Day& day, std::optional<RecordedStation> station,
                          const ForecastValues& forecast, std::vector<Measurement> measurements,
                          std::string drawn_at, std::string program);

// The JSON of a day's counts ({"with_value", "without_value"}) and of its newest measurement
// (null when there is none), as the run record and the year files give them.
Json counts_json(int with_value, int without_value);
Json newest_json(const std::optional<NewestMeasurement>& newest);
// Adds the members of `figures` to `object`: the counts as `counts_key`, then "newest",
// "min_mhz", "max_mhz" and "mean_deviation_percent"; and the figures those members of `object`
// give, if they are sound.
void add_figures(Json& object, const DayFigures& figures, std::string_view counts_key);
std::optional<DayFigures> figures_in(const Json& object, std::string_view counts_key);

// The record's file, and the record a file holds: nothing, with `*problem` saying why, when it
// is no sound record of `day`.
Json day_record_json(const DayRecord& record);
std::optional<DayRecord> day_record_of(const Json& file, const Day& day, std::string* problem);

// Reads the head of the record of `day` at `path` (the rest of the file is not read), or the
// whole record. A damaged one is reported as a warning, once, and taken as missing.
struct RecordHeadRead {
  JsonRead::Status status = JsonRead::Status::missing;
  std::optional<RecordHead> head;  // when read
};
RecordHeadRead read_record_head(const std::string& path, const Day& day, Diagnostics& diagnostics);
struct DayRecordRead {
  JsonRead::Status status = JsonRead::Status::missing;
  std::optional<DayRecord> record;  // when read
  std::string problem;              // when damaged
};
DayRecordRead read_day_record(const std::string& path, const Day& day, Diagnostics& diagnostics);

// The CSV of a record: the header line, then a line a measurement, in time order.
std::string day_csv_text(const DayRecord& record);

// Writes `record` and its CSV as the day's files, unless `existing` (the head of the record
// there) records the same figure; then only a CSV that has gone is written again. A failure is
// reported.
enum class RecordWrite { unchanged, written, failed };
RecordWrite keep_day_record(const ArchiveDayFiles& files, const DayRecord& record,
                            const std::optional<RecordHead>& existing, Diagnostics& diagnostics);

}  // namespace norvane
