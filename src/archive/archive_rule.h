// SPDX-License-Identifier: MIT
// The archive pictures and their records are the station's archive: once a day leaves the six
// days of a run, nothing else keeps what it measured, while its measurement files may be thinned
// by a clean-up job, emptied during an upload, corrected or removed. So a day's figure is drawn
// from what the folder holds now and what the archive recorded of the day together, by these
// rules, which a run, a backfill and the check all follow:
//
// - Each day belongs to one station. A day whose record names another station than the one the
//   folder tells (another style, or a first line beginning with four other characters) is not
//   touched: its picture and record are kept, and the run fails.
// - When the station's data cannot be seen (the measurement folder is refused, missing, cannot be
//   listed, holds no file, names no known station, or was told by a stray file), the archive is
//   kept, and a day with a record is drawn from the record alone, its forecast included: the very
//   picture the archive holds.
// - Otherwise a day with a record is drawn from every file of the day that the folder holds now
//   and can read, and every recorded measurement whose file is gone, cannot be read or holds too
//   little now: a late file adds its value, a rewritten file replaces the recorded value of its
//   minute, and a clean-up never thins the day. Its archive picture, its current picture and its
//   new record all show that set.
// - A picture without a record (drawn by an older version) keeps the rule of the counts its GIF
//   comment carries (archive/archive_record.h): it is replaced by a figure drawn from at least as
//   many files, and always when it is today's or carries no counts; else it is kept with a
//   warning. A file of its day that cannot be read keeps it too.
// - A backfill asked to redraw draws the folder's files alone, thinner or not; but not another
//   station's day, nor a day whose files it cannot read or see.
// - A day without a picture always gets one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/archive_files.h"
#include "archive/archive_record.h"
#include "archive/day_record.h"
#include "observations/day_reading.h"
#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

// What the archive holds of a day.
struct ArchivedDay {
  bool picture = false;
  // The head of its sound record, and the whole record when the day needs it: when the folder
  // holds other measurements than it records, or the station's data cannot be seen. A damaged
  // record is reported as a warning and taken as none.
  std::optional<RecordHead> head;
  std::optional<DayRecord> record;
  // What its picture's GIF comment says it was drawn from; read only when it has no record.
  std::optional<ArchiveRecord> picture_counts;
};
// Looks at the archive's files of `day`, which `sight` is of.
ArchivedDay look_at_archive(const ArchiveDayFiles& files, const Day& day, const DaySight& sight,
                            Diagnostics& diagnostics);

// What becomes of a day's archive picture.
enum class ArchivePicture {
  write,               // written with the day's figure (or kept, if it holds that figure already)
  keep,                // kept: the station's data cannot be seen, or a file cannot be read
  keep_richer,         // kept: it has no record and was drawn from more files than the folder holds
  keep_other_station,  // kept: it is another station's day
};

// How a day is drawn, and what becomes of its archive picture.
struct DayPlan {
  ArchivePicture archive = ArchivePicture::write;
  // What the figure draws, in the order of the day's slots.
  std::vector<Measurement> measurements;
  // How many of them are recorded ones whose files the folder does not give now.
  int from_record = 0;
  DrawnFrom drawn_from = DrawnFrom::folder;
  // The record's forecast is drawn, not the forecast file's: the day is drawn from its record.
  bool forecast_from_record = false;
};

struct DayRules {
  bool today = false;   // the day is today, whose picture the count rule always replaces
  bool redraw = false;  // a backfill asked to draw the folder's files alone
};

DayPlan plan_day(const ArchivedDay& archived, const DaySight& sight, DayRules rules);

// The record's station for a day drawn from what `sight` saw: the folder's when it told one, else
// the record's (whose day is drawn from it), else none.
std::optional<RecordedStation> station_of_day(const ArchivedDay& archived, const DaySight& sight);

// The failure of a day kept as another station's: the day, both stations, and the folder that
// told the run's.
std::string other_station_text(const ArchiveDayFiles& files, const Day& day,
                               const RecordedStation& recorded, const Station& told,
                               const std::string& observation_dir);

// The warning of a picture kept without a record, drawn from more files than the folder holds.
std::string thinner_day_text(const ArchiveDayFiles& files, const Day& day,
                             const ArchivedDay& archived, const DaySight& sight);

}  // namespace norvane
