// SPDX-License-Identifier: MIT
#include "archive/archive_index.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;
using Json = nlohmann::json;
using Picture = DaySummary::Picture;

DaySummary day_of(year_month_day date, Picture archive, int with_value = 0) {
  DaySummary day;
  day.date = date;
  const auto doy = (sys_days{date} - sys_days{date.year() / January / 1}).count() + 1;
  char name[16];
  std::snprintf(name, sizeof name, "%04d%03d.gif", static_cast<int>(date.year()),
                static_cast<int>(doy));
  day.archive_name = name;
  day.archive = archive;
  day.files_with_value = with_value;
  return day;
}

Json json_in(const testing::TempFolder& folder, const std::string& name) {
  return Json::parse(folder.read(name));
}

TEST(ArchiveIndex, ListsTheDaysWithAPictureAndTouchesOnlyWhatChanges) {
  testing::TempFolder folder;
  for (const char* name : {"2025365.gif", "2026001.gif", "2026002.gif", "2026003.gif",
                           "2026400.gif", "notes.gif", "20260010.gif"}) {
    folder.write(name, "GIF");
  }
  std::ostringstream messages;
  Diagnostics diagnostics(testing::into(messages));
  const auto update = [&](std::vector<DaySummary> days) {
    update_archive_index(folder.path(), days, diagnostics);
  };
  // A first run: every file is new. The kept day's counts are not those of its picture.
  update({day_of(2025y / December / 31d, Picture::unchanged, 80),
          day_of(2026y / January / 1d, Picture::written, 90),
          day_of(2026y / January / 2d, Picture::kept, 3),
          day_of(2026y / January / 4d, Picture::failed, 5)});
  EXPECT_EQ(json_in(folder, "index.json"),
            Json::parse(R"({"format": "norvane_foF2 archive index", "version": 1,
              "years": [2025, 2026], "first": "2025-12-31", "last": "2026-01-03"})"));
  const Json year = json_in(folder, "2026.json");
  EXPECT_EQ(year["format"], "norvane_foF2 archive year");
  EXPECT_EQ(year["year"], 2026);
  ASSERT_EQ(year["days"].size(), 3u) << year;
  EXPECT_EQ(year["days"][0], Json::parse(R"({"date": "2026-01-01", "picture": "2026001.gif",
              "measurements": {"with_value": 90, "without_value": 0}, "newest": null})"));
  EXPECT_EQ(year["days"][1], Json::parse(R"({"date": "2026-01-02", "picture": "2026002.gif"})"));
  EXPECT_EQ(year["days"][2]["date"], "2026-01-03");
  EXPECT_EQ(json_in(folder, "2025.json")["days"][0]["measurements"]["with_value"], 80);

  // Days that came out as they were leave a year file alone, unread: even a damaged one.
  folder.write("2026.json", "{damaged");
  update({day_of(2026y / January / 1d, Picture::unchanged, 91),
          day_of(2026y / January / 2d, Picture::kept)});
  EXPECT_EQ(folder.read("2026.json"), "{damaged");

  // A written day makes it read again: damaged, it is rebuilt from the folder, which drops a
  // picture that has gone.
  std::remove((folder / "2026003.gif").c_str());
  update({day_of(2026y / January / 2d, Picture::written, 7)});
  const Json rebuilt = json_in(folder, "2026.json");
  ASSERT_EQ(rebuilt["days"].size(), 2u) << rebuilt;
  EXPECT_EQ(rebuilt["days"][0], Json::parse(R"({"date": "2026-01-01", "picture": "2026001.gif"})"));
  EXPECT_EQ(rebuilt["days"][1]["measurements"]["with_value"], 7);
  EXPECT_EQ(json_in(folder, "index.json")["last"], "2026-01-02");
  // Kept, that day keeps its counts.
  update({day_of(2026y / January / 2d, Picture::kept, 1)});
  EXPECT_EQ(json_in(folder, "2026.json"), rebuilt);

  // A missing index is rebuilt by any run.
  std::remove((folder / "index.json").c_str());
  update({day_of(2026y / January / 2d, Picture::unchanged)});
  EXPECT_EQ(json_in(folder, "index.json")["years"], Json::parse("[2025, 2026]"));
  EXPECT_FALSE(diagnostics.failed()) << messages.str();

  update_archive_index(folder / "missing/", std::vector{day_of(2026y / May / 1d, Picture::written)},
                       diagnostics);
  EXPECT_TRUE(diagnostics.failed());
  EXPECT_NE(messages.str().find("cannot list archive folder \"" + folder.path() +
                                "missing/\": No such file or directory"),
            std::string::npos)
      << messages.str();
}

}  // namespace
}  // namespace norvane
