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

}  // namespace
}  // namespace norvane
