// SPDX-License-Identifier: MIT
#include "driver/backfill.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>
#include <variant>

#include "driver/day_table.h"
#include "driver/run.h"
#include "support/messages.h"
#include "support/station_files.h"
#include "support/temp_folder.h"
#include "util/run_lock.h"

namespace norvane {
namespace {

using namespace std::chrono;

// A station folder with measurements at hh:30 from 20 December 2025 to 10 January 2026, each
// day's values its own.
void prepare_work(const testing::TempFolder& work) {
  work.write("norvane_foF2.ini", "f\nfc/\no\nobs/\np\nwww/\n");
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("www");
  std::array<double, 24> forecast{};
  forecast.fill(7.0);
  work.write("fc/122025.txt", testing::forecast_file(forecast));
  forecast.fill(9.0);
  work.write("fc/012026.txt", testing::forecast_file(forecast));
  for (sys_days day = sys_days{2025y / December / 20d}; day <= sys_days{2026y / January / 10d};
       day += days{1}) {
    const Day names = Day::of(year_month_day{day});
    for (int hour = 0; hour < 24; ++hour) {
      char name[64];
      std::snprintf(name, sizeof name, "obs/RM041_%s%02d3000.TXT", names.year_and_day().c_str(),
                    hour);
      const double mhz = 3 + static_cast<double>(day.time_since_epoch().count() % 7) + hour / 5.0;
      work.write(name, testing::measurement_file("Rome", testing::value_field(mhz)));
    }
  }
}

TEST(Backfill, DrawsTheArchivePicturesRunsWouldHaveDrawnAndLeavesTheCurrentOnes) {
  // The archive that runs on 2 and 3 January 2026 leave for 28 December to 3 January, their
  // records drawn at the moment of the backfill's.
  const Clock drawn_at = [] { return sys_days{2026y / January / 9d} + 12h; };
  testing::TempFolder runs;
  prepare_work(runs);
  std::ostringstream run_messages;
  for (const year_month_day today : {2026y / January / 2d, 2026y / January / 3d}) {
    ASSERT_EQ(run({runs.path(), today, testing::into(run_messages), seconds(60), drawn_at}),
              ExitStatus::success);
  }
  ASSERT_EQ(run_messages.str(), "");

  testing::TempFolder work;
  prepare_work(work);
  for (int slot = 1; slot <= 6; ++slot) {
    work.write("www/plotfoF2" + std::to_string(slot) + ".gif", "today's picture");
  }
  std::ostringstream messages;
  std::ostringstream summary;
  const auto backfill_days = [&] {
    summary.str("");
    return backfill({work.path(),
                     2026y / January / 9d,
                     2025y / December / 28d,
                     2026y / January / 3d,
                     testing::into(messages),
                     testing::into(summary),
                     {},
                     seconds(60),
                     drawn_at});
  };
  EXPECT_EQ(backfill_days(), ExitStatus::success);
  EXPECT_EQ(messages.str(), "");
  EXPECT_EQ(summary.str(),
            "backfill 2025-12-28 to 2026-01-03: 7 archive pictures written, 0 unchanged, 0 kept "
            "as they were, 0 not written; 0 days without a measurement file\n");
  EXPECT_EQ(work.list("fc/previous_foF2_plots"), runs.list("fc/previous_foF2_plots"));
  for (const std::string& name : runs.list("fc/previous_foF2_plots")) {
    EXPECT_EQ(work.read("fc/previous_foF2_plots/" + name),
              runs.read("fc/previous_foF2_plots/" + name))
        << name;
  }
  EXPECT_EQ(work.read("www/plotfoF21.gif"), "today's picture");
  EXPECT_EQ(work.list("www").size(), 6u);

  // Drawn again, the pictures are the same; with a day's files gone, it is drawn from its record.
  for (int hour = 0; hour < 24; ++hour) {
    char name[64];
    std::snprintf(name, sizeof name, "obs/RM041_2025365%02d3000.TXT", hour);
    std::filesystem::remove(work / name);
  }
  EXPECT_EQ(backfill_days(), ExitStatus::success);
  EXPECT_EQ(summary.str(),
            "backfill 2025-12-28 to 2026-01-03: 0 archive pictures written, 7 unchanged, 0 kept "
            "as they were, 0 not written; 1 day without a measurement file\n");
  EXPECT_EQ(work.read("fc/previous_foF2_plots/2025365.gif"),
            runs.read("fc/previous_foF2_plots/2025365.gif"));
}

TEST(Backfill, LetsOtherRunsHaveTheLockBetweenDays) {
  testing::TempFolder work;
  prepare_work(work);
  std::ostringstream messages;
  std::ostringstream summary;
  std::atomic<bool> ended = false;
  std::thread backfilling([&] {
    backfill({work.path(),
              2026y / January / 10d,
              2025y / December / 20d,
              2026y / January / 10d,
              testing::into(messages),
              testing::into(summary),
              {}});
    ended = true;
  });
  // Once the backfill has drawn its first day, a run that waits for the lock gets it between
  // two days, long before the backfill ends.
  while (!ended && work.list("fc/previous_foF2_plots").empty()) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  {
    auto lock = RunLock::acquire(work / "fc/", std::chrono::seconds(60));
    ASSERT_TRUE(std::holds_alternative<RunLock>(lock));
    EXPECT_FALSE(ended);
    EXPECT_LT(work.list("fc/previous_foF2_plots").size(), 22u * 3);
  }
  backfilling.join();
  EXPECT_EQ(messages.str(), "");
}

TEST(Backfill, RefusesDaysThatTwoDigitYearsCannotTellFromACenturyLater) {
  testing::TempFolder work;
  work.write("norvane_foF2.ini", "f\nfc/\no\nobs/\np\nwww/\n");
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("www");
  // A Gibilmanna file of 5 December 2026, whose name would also be that of 5 December 1926.
  work.write("obs/26339M30.TXT", testing::measurement_file("Gibilmanna", " 6.0"));
  std::ostringstream messages;
  std::ostringstream summary;
  BackfillRequest request{work.path(),
                          2026y / December / 10d,
                          1926y / December / 10d,
                          1926y / December / 11d,
                          testing::into(messages),
                          testing::into(summary),
                          {}};
  EXPECT_EQ(backfill(request), ExitStatus::failure);
  // No file of the station for any day of the range either: none is seen.
  EXPECT_EQ(messages.str(),
            "norvane_foF2: no measurement file of the station for any day from 1926-12-10 to "
            "1926-12-11 in \"" +
                work.path() + "obs/\": the first line of \"" + work.path() +
                "obs/26339M30.TXT\" begins \"Gibi\", which names station style 1, whose files "
                "are named like \"26344M30.TXT\" (archive pictures kept, or written where missing; "
                "days with a record drawn from it)\n"
                "norvane_foF2: station style 1 names its files with two-digit years, which tell "
                "apart only the days from 1926-12-11 on: the days before are not drawn\n"
                "norvane_foF2: cannot read forecast file \"" +
                work.path() +
                "fc/121926.txt\": No such file or directory (no forecast curve drawn)\n");
  EXPECT_EQ(summary.str(),
            "backfill 1926-12-10 to 1926-12-11: 1 archive picture written, 0 unchanged, 0 kept "
            "as they were, 0 not written, 1 day refused; 0 days without a measurement file\n");
  EXPECT_TRUE(work.exists("fc/previous_foF2_plots/1926345.gif"));
  EXPECT_FALSE(work.exists("fc/previous_foF2_plots/1926344.gif"));
}

}  // namespace
}  // namespace norvane
