// SPDX-License-Identifier: MIT
#include "archive/archive_rule.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

// A day the folder shows `files` measurement files of, `unreadable` more that it cannot read.
DaySight seen(int files, int unreadable = 0) {
  DaySight sight{true, {}, {}};
  sight.station.kind = 4;
  sight.station.first_line = "Rome";
  for (int i = 0; i < files; ++i) sight.reading.measurements.push_back({i, 30, 40.0 + i, "f"});
  sight.reading.counts = count_measurements(sight.reading.measurements);
  sight.reading.unreadable = unreadable;
  return sight;
}

TEST(ArchiveRule, APictureWithoutARecordKeepsTheCountRule) {
  // Each time, the picture there was drawn from three files.
  ArchivedDay archived{true, std::nullopt, std::nullopt, ArchiveRecord{2, 1}};
  const struct {
    DaySight sight;
    DayRules rules;
    ArchivePicture archive;
  } cases[] = {
      {DaySight{}, {}, ArchivePicture::keep},      // the data cannot be seen
      {seen(4, 1), {}, ArchivePicture::keep},      // a file cannot be read
      {seen(0), {}, ArchivePicture::keep_richer},  // a clean-up job's doing
      {seen(2), {}, ArchivePicture::keep_richer},
      {seen(3), {}, ArchivePicture::write},                // a value corrected
      {seen(4), {}, ArchivePicture::write},                // a late file
      {seen(1), {.redraw = true}, ArchivePicture::write},  // asked to redraw
      {seen(1, 1), {.redraw = true}, ArchivePicture::keep},
      {seen(0), {.today = true}, ArchivePicture::write},
  };
  for (const auto& c : cases) {
    const DayPlan plan = plan_day(archived, c.sight, c.rules);
    EXPECT_EQ(plan.archive, c.archive) << c.sight.reading.measurements.size();
    EXPECT_EQ(plan.measurements.size(), c.sight.reading.measurements.size());
  }
  // No counts in its comment (an older program's), or no picture at all: it is written.
  archived.picture_counts.reset();
  EXPECT_EQ(plan_day(archived, seen(0), {}).archive, ArchivePicture::write);
  archived.picture = false;
  EXPECT_EQ(plan_day(archived, DaySight{}, {}).archive, ArchivePicture::write);
}

TEST(ArchiveRule, ADayWithARecordIsMergedUnlessItIsAnotherStations) {
  ForecastValues forecast{};
  DayRecord record =
      make_day_record(Day::of(std::chrono::year{2026} / 12 / 5), RecordedStation{"Rome station", 4},
                      forecast, {{1, 30, 10.0, "old"}, {2, 30, 20.0, "gone"}}, "", "");
  const ArchivedDay archived{true, head_of(record), record, std::nullopt};
  // The folder's file of 01:30 replaces the recorded value; 02:30 comes from the record.
  const DayPlan merged = plan_day(archived, seen(2), {});
  EXPECT_EQ(merged.archive, ArchivePicture::write);
  ASSERT_EQ(merged.measurements.size(), 3u);
  EXPECT_EQ(merged.measurements[1].value, 41.0);
  EXPECT_EQ(merged.measurements[2].file, "gone");
  EXPECT_EQ(merged.from_record, 1);
  EXPECT_EQ(merged.drawn_from, DrawnFrom::folder_and_record);
  EXPECT_EQ(plan_day(archived, seen(0, 2), {}).drawn_from, DrawnFrom::record);
  EXPECT_EQ(plan_day(archived, seen(0, 2), {}).archive, ArchivePicture::write);
  EXPECT_EQ(plan_day(archived, seen(1), {.redraw = true}).measurements.size(), 1u);
  const DayPlan unseen = plan_day(archived, DaySight{}, {});
  EXPECT_EQ(unseen.archive, ArchivePicture::keep);
  EXPECT_TRUE(unseen.forecast_from_record);
  EXPECT_EQ(unseen.measurements.size(), 2u);
  // Another style, or other first four characters: another station's day, redrawn or not.
  DaySight other = seen(2);
  other.station.first_line = "Roma";
  EXPECT_EQ(plan_day(archived, other, {.redraw = true}).archive,
            ArchivePicture::keep_other_station);
  other.station = {Station::Problem::none, 0, 2, "", "Rome station"};
  EXPECT_EQ(plan_day(archived, other, {}).archive, ArchivePicture::keep_other_station);
  other.station.kind = 4;
  EXPECT_EQ(plan_day(archived, other, {}).archive, ArchivePicture::write);
}

}  // namespace
}  // namespace norvane
