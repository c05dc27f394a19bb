// SPDX-License-Identifier: MIT
#include "archive/archive_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "archive/day_record.h"
#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;

TEST(ArchiveIndex, ListsEveryPictureWithWhatItsRecordTellsAndIsSealed) {
  testing::TempFolder folder;
  std::ostringstream messages;
  Diagnostics diagnostics(testing::into(messages));
  // 31 December 2025 and 2 January 2026 have a record; 1 January 2026 only a picture and its
  // entry, as an older version left them; 3 January 2026 only a record, its picture gone.
  const Day new_year = Day::of(2026y / January / 1d);
  ForecastValues forecast{};
  forecast.fill(std::int16_t{50});
  for (const Day& day : {new_year.plus(-1), new_year.plus(1), new_year.plus(2)}) {
    const DayRecord record =
        make_day_record(day, RecordedStation{"Rome", 4}, forecast,
                        {{12, 30, 55.0, "a"}, {13, 30, std::nullopt, "b"}, {14, 30, 45.0, "c"}},
                        "2026-01-03T00:00:00Z", "norvane_foF2 1.1.0");
    ASSERT_EQ(
        keep_day_record(archive_day_files(folder.path(), day), record, std::nullopt, diagnostics),
        RecordWrite::written);
  }
  for (const Day& day : {new_year.plus(-1), new_year, new_year.plus(1)}) {
    folder.write(day.year_and_day() + ".gif", "GIF");
  }
  const std::string older_entry = R"({"date": "2026-01-01", "picture": "2026001.gif",
    "measurements": {"with_value": 90, "without_value": 0}, "newest": null})";
  folder.write("2026.json", R"({"format": "norvane_foF2 archive year", "version": 1,
    "year": 2026, "days": [)" + older_entry +
                                "]}");
  EXPECT_FALSE(archive_index_sealed(folder.path()));
  const ArchiveRange range{2025y / December / 31d, 2026y / January / 2d};
  EXPECT_EQ(update_archive_index(folder.path(), {}, {}, false, diagnostics), range);
  EXPECT_EQ(messages.str(), "");
  EXPECT_TRUE(archive_index_sealed(folder.path()));

  EXPECT_EQ(Json::parse(folder.read("index.json")),
            Json::parse(R"({"format": "norvane_foF2 archive index", "version": 1,
              "years": [2025, 2026], "first": "2025-12-31", "last": "2026-01-02"})"));
  const Json year = Json::parse(folder.read("2026.json"));
  EXPECT_EQ(year["format"], "norvane_foF2 archive year");
  ASSERT_EQ(year["days"].size(), 2u) << year;
  EXPECT_EQ(year["days"][0], Json::parse(older_entry));
  EXPECT_EQ(year["days"][1], Json::parse(R"({"date": "2026-01-02", "picture": "2026002.gif",
              "record": "2026002.json", "csv": "2026002.csv",
              "measurements": {"with_value": 2, "without_value": 1},
              "newest": {"time": "14:30", "value_mhz": 4.5, "forecast_mhz": 5.0,
                         "curve_mhz": 5.0, "deviation_percent": -10.0},
              "min_mhz": 4.5, "max_mhz": 5.5, "mean_deviation_percent": 0.0})"));

  // Sealed and nothing drawn, nothing is read or written; a folder that has gone is no failure
  // of the index (its pictures' failures tell).
  struct stat before {};
  ::stat((folder / "2026.json").c_str(), &before);
  EXPECT_EQ(update_archive_index(folder.path(), {}, {}, true, diagnostics), range);
  struct stat after {};
  ::stat((folder / "2026.json").c_str(), &after);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  // Damaged in place with its time kept, it still looks sealed: it is made again.
  const std::string index_json = folder.read("index.json");
  folder.write("index.json", "{\"format\": \"norvane_foF2 archive index\", \"fir");
  struct stat archive {};
  ::stat(folder.path().c_str(), &archive);
  const timespec sealed_times[2] = {archive.st_mtim, archive.st_mtim};
  ::utimensat(AT_FDCWD, (folder / "index.json").c_str(), sealed_times, 0);
  ASSERT_TRUE(archive_index_sealed(folder.path()));
  EXPECT_EQ(update_archive_index(folder.path(), {}, {}, true, diagnostics), range);
  EXPECT_EQ(Json::parse(folder.read("index.json")), Json::parse(index_json));
  EXPECT_EQ(update_archive_index(folder / "missing/", {}, {}, false, diagnostics), std::nullopt);
  EXPECT_FALSE(diagnostics.failed()) << messages.str();
}

}  // namespace
}  // namespace norvane
