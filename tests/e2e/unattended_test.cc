// SPDX-License-Identifier: MIT
// The built program left alone as a station leaves it: data that vanishes or cannot be read,
// runs that meet or are killed, settings that are not text, nobody reading standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_record.h"
#include "driver/day_table.h"
#include "observations/station.h"
#include "support/program.h"
#include "support/station_files.h"
#include "support/station_work.h"
#include "support/temp_folder.h"
#include "util/input_file.h"
#include "util/run_lock.h"

namespace norvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Json = nlohmann::json;
using testing::run_today;

// The archive's file of `slot` ending in `ending` (".gif", ".json", ".csv"), relative to the
// working folder.
std::string archive_of(const PlotState& days, int slot, const std::string& ending = ".gif") {
  return "fc/previous_foF2_plots/" + days.days[slot].year_and_day() + ending;
}

Json json_in(const testing::TempFolder& work, const std::string& relative) {
  return Json::parse(work.read(relative));
}

// The lines of the CSV of `slot`, header left out.
std::vector<std::string> csv_rows(const testing::TempFolder& work, const PlotState& days,
                                  int slot) {
  std::vector<std::string> rows;
  std::istringstream text(work.read(archive_of(days, slot, ".csv")));
  for (std::string line; std::getline(text, line);) rows.push_back(line);
  rows.erase(rows.begin());
  return rows;
}

// The GIF at `path` without its comment blocks, as an image optimiser leaves it.
void strip_gif_comments(const testing::TempFolder& work, const std::string& relative) {
  std::string gif = work.read(relative);
  const auto flags = static_cast<unsigned char>(gif[10]);
  const std::size_t at = 13 + ((flags & 0x80) != 0 ? 3u << ((flags & 7) + 1) : 0);
  while (at + 1 < gif.size() && gif[at] == '\x21' && gif[at + 1] == '\xFE') {
    std::size_t end = at + 2;
    while (gif[end] != 0) end += 1 + static_cast<unsigned char>(gif[end]);
    gif.erase(at, end + 1 - at);
  }
  work.write(relative, gif);
}

// Whether every entry of the archive's year files agrees with its day's record.
::testing::AssertionResult index_agrees_with_records(const testing::TempFolder& work) {
  const std::string archive = "fc/previous_foF2_plots/";
  for (const std::string& name : work.list(archive)) {
    if (name.size() != 9 || !name.ends_with(".json")) continue;
    const Json year = json_in(work, archive + name);
    for (const Json& entry : year["days"]) {
      const std::string record_name = entry["picture"].get<std::string>().substr(0, 7) + ".json";
      if (!work.exists(archive + record_name)) continue;
      const Json record = json_in(work, archive + record_name);
      if (entry["measurements"] != record["counts"]) {
        return ::testing::AssertionFailure() << entry << " against " << record["counts"];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A station's folder after one quiet run, open to an unprivileged program.
class StationWork : public ::testing::Test {
 protected:
  void SetUp() override {
    build_day_table(days_, testing::local_today());
    testing::prepare_station_work(work_, days_);
    testing::open_to_everyone(work_.path());
    ASSERT_EQ(run_today(work_, unprivileged_).first.exit_status, 0);
    for (int slot = 1; slot <= 6; ++slot) archives_.push_back(work_.read(archive_of(days_, slot)));
  }

  // Whether the archive picture of `slot` is still the one of the first run.
  bool archive_kept(int slot) const {
    return work_.read(archive_of(days_, slot)) == archives_[static_cast<std::size_t>(slot - 1)];
  }

  // Hidden files and BMPs left in the folders the run writes in (but the two files that take
  // turns as the run record and the lock file, which stay).
  std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    for (const std::string& name : work_.list()) {
      const std::string base = fs::path(name).filename().string();
      if ((base.starts_with(".") && !base.starts_with(".plotfoF2.json.") &&
           base != run_lock_file_name) ||
          base.ends_with(".bmp")) {
        found.push_back(name);
      }
    }
    return found;
  }

  testing::TempFolder work_;
  PlotState days_;
  std::vector<std::string> archives_;
  testing::ProgramOptions unprivileged_{.unprivileged = true};
};

TEST_F(StationWork, ARunThatCannotSeeTheStationsDataKeepsTheArchiveAndShowsItsRecords) {
  const std::string obs = work_ / "obs/";
  // Each time, every archive picture is kept (a day without one gets one), the current pictures
  // are drawn from the records, each the very picture of its day in the archive, and the run
  // fails with one line.
  const testing::Picture second_day = testing::Picture::load(work_ / archive_of(days_, 2));
  const auto shows_the_archive = [&](const testing::ProgramResult& result,
                                     const std::string& message) {
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.standard_error, "norvane_foF2: " + message + "\n");
    for (int slot = 1; slot <= 6; ++slot) {
      EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
      EXPECT_EQ(testing::Picture::load(work_ / ("www/plotfoF2" + std::to_string(slot) + ".gif")),
                testing::Picture::load(work_ / archive_of(days_, slot)))
          << "slot " << slot;
    }
  };
  // A share that did not mount: an empty folder; and one day's picture gone meanwhile.
  fs::rename(obs, work_ / "away");
  fs::create_directory(obs);
  fs::remove(work_ / archive_of(days_, 2));
  testing::ProgramOptions with_metrics = unprivileged_;
  with_metrics.arguments = {"--metrics", work_ / "m.prom"};
  shows_the_archive(run_today(work_, with_metrics).first,
                    "measurement folder \"" + obs +
                        "\" holds no measurement file (archive pictures kept, or written where "
                        "missing; days with a record drawn from it)");
  EXPECT_EQ(testing::Picture::load(work_ / archive_of(days_, 2)), second_day);
  const Json record = json_in(work_, "www/plotfoF2.json");
  for (const Json& day : record["days"]) EXPECT_EQ(day["drawn_from"], "record");
  EXPECT_NE(work_.read("m.prom").find("\nnorvane_fof2_archive_pictures_kept{station=\"" +
                                      fs::path(work_.path()).parent_path().filename().string() +
                                      "\"} 5\n"),
            std::string::npos)
      << work_.read("m.prom");

  // No folder at all, and a folder the program may not list.
  fs::remove(obs);
  shows_the_archive(run_today(work_, unprivileged_).first,
                    "measurement folder \"" + obs + "\" of settings file \"" + work_.path() +
                        "norvane_foF2.ini\" line 4 \"obs\\\\\" is missing (archive pictures kept, "
                        "or written where missing; days with a record drawn from it)");
  fs::create_directory(obs);
  fs::permissions(obs, fs::perms::none);
  shows_the_archive(run_today(work_, unprivileged_).first,
                    "cannot list measurement folder \"" + obs +
                        "\": Permission denied (archive pictures kept, or written where missing; "
                        "days with a record drawn from it)");
  fs::remove(obs);
  fs::rename(work_ / "away", obs);
  // A stray file naming another station first in the folder: no file of that station in the
  // six days, so the run fails and says which file told it.
  work_.write("obs/0README.TXT", "Gibilmanna test file\n\n\n");
  const auto stray = run_today(work_, unprivileged_).first;
  EXPECT_EQ(stray.exit_status, 1);
  EXPECT_NE(stray.standard_error.find("no measurement file of the station for any of the six "
                                      "days in \"" +
                                      obs + "\": the first line of \"" + obs +
                                      "0README.TXT\" begins \"Gibi\", which names station "
                                      "style 1"),
            std::string::npos)
      << stray.standard_error;
  fs::remove(work_ / "obs/0README.TXT");
  work_.write("obs/README.txt", "Notes on the station\n");
  shows_the_archive(run_today(work_, unprivileged_).first,
                    "no known station: the first line of \"" + obs +
                        "README.txt\" begins \"Note\" (archive pictures kept, or written where "
                        "missing; days with a record drawn from it)");
}

TEST_F(StationWork, ADayIsDrawnFromTheFolderAndItsRecordTogether) {
  // Day 1: a clean-up job removed 00:30 to 19:30, and the value of 22:30 was scaled again.
  // Day 2: a late file at 12:45. Day 3: a file that cannot be read. Day 4: a picture whose record
  // is gone (as an older version left it), thinned. Day 5: thinned after an image optimiser took
  // the comment out of its picture. Today: every file gone.
  const auto remove_hours = [&](int slot, int until) {
    for (int hour = 0; hour < until; ++hour) {
      fs::remove(work_ / testing::measurement_name(days_, slot, hour, 30));
    }
  };
  remove_hours(1, 20);
  work_.write(testing::measurement_name(days_, 1, 22, 30),
              testing::measurement_file("Rome", testing::value_field(12.0)));
  work_.write(testing::measurement_name(days_, 2, 12, 45),
              testing::measurement_file("Rome", testing::value_field(9.0)));
  const std::string unreadable = testing::measurement_name(days_, 3, 4, 30);
  fs::permissions(work_ / unreadable, fs::perms::none);
  fs::remove(work_ / archive_of(days_, 4, ".json"));
  remove_hours(4, 10);
  strip_gif_comments(work_, archive_of(days_, 5));
  ASSERT_EQ(read_archive_record_file(work_ / archive_of(days_, 5)), std::nullopt);
  remove_hours(5, 10);
  remove_hours(6, 24);

  const auto [result, days] = run_today(work_, unprivileged_);
  EXPECT_EQ(result.exit_status, 1);
  const std::string day_4 = days_.days[4].iso();
  EXPECT_EQ(result.standard_error,
            "norvane_foF2: archive picture \"" + work_.path() + archive_of(days_, 4) + "\" of " +
                days_.date_labels[4] +
                " kept: it was drawn from 24 measurement files, the folder now holds 14 of that "
                "day (--backfill " +
                day_4 + " " + day_4 +
                " --redraw replaces it)\n"
                "norvane_foF2: cannot read measurement file \"" +
                work_.path() + unreadable +
                "\": Permission denied (the archive keeps what it recorded of its day)\n");
  // The clean-up thinned nothing, the new value is drawn, in the picture as in the CSV.
  const auto day_1 = testing::Picture::load(work_ / archive_of(days_, 1));
  EXPECT_EQ(testing::figure_pixel(day_1, 55, 10 * (3 + 5 / 4.0)), colours::measured);
  EXPECT_EQ(testing::figure_pixel(day_1, 225, 120), colours::measured);
  EXPECT_EQ(testing::figure_pixel(day_1, 225, 10 * (3 + 22 / 4.0)), colours::background);
  EXPECT_EQ(day_1, testing::Picture::load(work_ / "www/plotfoF21.gif"));
  const auto rows_1 = csv_rows(work_, days_, 1);
  ASSERT_EQ(rows_1.size(), 24u);
  // Its forecast is flat at 5.5 MHz + the month's number / 10.
  char forecast[16];
  std::snprintf(forecast, sizeof forecast, "%.2f",
                5.5 + static_cast<unsigned>(days_.days[1].date.month()) / 10.0);
  EXPECT_EQ(rows_1[5], days_.days[1].iso() + "T05:30Z," +
                           testing::value_field(3 + 5 / 4.0).substr(1) + "," + forecast);
  EXPECT_EQ(rows_1[22], days_.days[1].iso() + "T22:30Z,12.0," + forecast);
  EXPECT_EQ(json_in(work_, "www/plotfoF2.json")["days"][0]["drawn_from"], "folder and record");
  // The late file is added; the file that cannot be read keeps its recorded value.
  EXPECT_EQ(testing::figure_pixel(testing::Picture::load(work_ / archive_of(days_, 2)), 128, 90),
            colours::measured);
  EXPECT_EQ(csv_rows(work_, days_, 2).size(), 25u);
  EXPECT_TRUE(archive_kept(3));
  EXPECT_EQ(testing::Picture::load(work_ / "www/plotfoF23.gif"),
            testing::Picture::load(work_ / archive_of(days_, 3)));
  // Without its record, the count rule keeps the thinned day; with it, no comment is needed.
  EXPECT_TRUE(archive_kept(4));
  EXPECT_FALSE(work_.exists(archive_of(days_, 4, ".json")));
  EXPECT_EQ(read_archive_record_file(work_ / archive_of(days_, 5)), (ArchiveRecord{24, 0}));
  EXPECT_TRUE(archive_kept(6));
}

TEST_F(StationWork, EachDayOfTheArchiveIsOneStations) {
  const auto records = [&] {
    std::vector<std::string> bytes;
    for (int slot = 1; slot <= 6; ++slot)
      bytes.push_back(work_.read(archive_of(days_, slot, ".json")));
    return bytes;
  };
  const auto before = records();
  const auto tucuman_files = [&](const testing::TempFolder& work, const std::string& folder) {
    for (int slot = 1; slot <= 6; ++slot) {
      for (int hour = 0; hour < 24; hour += 6) {
        char name[64];
        std::snprintf(name, sizeof name, "TUJ2O_%s%02d30.TXT",
                      days_.days[slot].year_and_day().c_str(), hour);
        work.write(folder + name, testing::measurement_file("Tucuman", testing::value_field(8.0)));
      }
    }
  };
  // The measurement folder now points at another station's files: no day of the archive is
  // touched, and each says so.
  fs::rename(work_ / "obs", work_ / "rome");
  tucuman_files(work_, "obs/");
  testing::open_to_everyone(work_.path());
  const auto [result, days] = run_today(work_, unprivileged_);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(std::count(result.standard_error.begin(), result.standard_error.end(), '\n'), 6)
      << result.standard_error;
  EXPECT_NE(result.standard_error.find("norvane_foF2: day " + days_.date_labels[1] +
                                       " of the archive is another station's: its record \"" +
                                       work_.path() + archive_of(days_, 1, ".json") +
                                       "\" names \"Rome\" (style 4), the measurement folder \"" +
                                       work_.path() +
                                       "obs/\" tells \"Tucu\" (style 2) (its picture and record "
                                       "kept)\n"),
            std::string::npos)
      << result.standard_error;
  for (int slot = 1; slot <= 6; ++slot) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  EXPECT_EQ(records(), before);

  // Two stations whose settings name one forecast folder never replace each other's days, and
  // the second's check says why it is not ready.
  fs::remove_all(work_ / "obs");
  fs::rename(work_ / "rome", work_ / "obs");
  testing::TempFolder other;
  other.write("norvane_foF2.ini", "f\n" + work_.path() + "fc/\no\nobs/\np\nwww/\n");
  other.make_folder("www");
  tucuman_files(other, "obs/");
  EXPECT_EQ(testing::run_program(other.path()).exit_status, 1);
  for (int slot = 1; slot <= 6; ++slot) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  EXPECT_EQ(records(), before);
  const auto check = testing::run_program(other.path(), {.arguments = {"--check"}});
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_NE(check.standard_output.find(
                "another station's days in the archive: " + days_.date_labels[1] + ", "),
            std::string::npos)
      << check.standard_output;
  EXPECT_EQ(run_today(work_, unprivileged_).first.exit_status, 0);
}

TEST_F(StationWork, ABackfillFollowsTheRunsRules) {
  const std::string from = days_.days[1].iso();
  const std::string to = days_.days[5].iso();
  // A stray file that names another station: --redraw or not, every picture is kept.
  work_.write("obs/00README.TXT", "Gibilmanna notes\r\n");
  const auto stray = testing::run_program(
      work_.path(), {.arguments = {"--backfill", from, to, "--redraw"}, .unprivileged = true});
  EXPECT_EQ(stray.exit_status, 1);
  EXPECT_NE(stray.standard_error.find("no measurement file of the station for any day from " +
                                      from + " to " + to + " in \""),
            std::string::npos)
      << stray.standard_error;
  EXPECT_EQ(stray.standard_output, "backfill " + from + " to " + to +
                                       ": 0 archive pictures written, 0 unchanged, 5 kept as they "
                                       "were, 0 not written; 0 days without a measurement file\n");
  for (int slot = 1; slot <= 5; ++slot) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;

  // A thinned day: the backfill merges it with its record as a run does; --redraw draws the
  // folder's files alone.
  fs::remove(work_ / "obs/00README.TXT");
  for (int hour = 0; hour < 20; ++hour) {
    fs::remove(work_ / testing::measurement_name(days_, 1, hour, 30));
  }
  const auto backfill_day_1 = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--backfill", from, from});
    return testing::run_program(work_.path(), {.arguments = arguments, .unprivileged = true});
  };
  EXPECT_EQ(backfill_day_1({}).exit_status, 0);
  EXPECT_TRUE(archive_kept(1));
  EXPECT_EQ(csv_rows(work_, days_, 1).size(), 24u);
  EXPECT_EQ(backfill_day_1({"--redraw"}).exit_status, 0);
  EXPECT_EQ(testing::figure_pixel(testing::Picture::load(work_ / archive_of(days_, 1)), 55,
                                  10 * (3 + 5 / 4.0)),
            colours::background);
  EXPECT_EQ(csv_rows(work_, days_, 1).size(), 4u);
  EXPECT_TRUE(index_agrees_with_records(work_));
}

TEST_F(StationWork, TheIndexIsMadeFromTheRecordsAndMadeAgainWhenItIsNot) {
  const std::string year_file = "fc/previous_foF2_plots/" + days_.days[6].year_digits(4) + ".json";
  const std::string index_before = work_.read(year_file);
  const auto late_file = [&](int minute) {
    work_.write(testing::measurement_name(days_, 6, 23, minute),
                testing::measurement_file("Rome", testing::value_field(9.0)));
  };
  // A year file nested 200,000 levels deep, written in place: the next run that changes a day
  // of its year says it is damaged, once, and makes it again.
  work_.write(year_file, std::string(200'000, '[') + std::string(200'000, ']'));
  late_file(40);
  auto result = run_today(work_, unprivileged_).first;
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "norvane_foF2: archive index \"" + work_.path() + year_file +
                                       "\" is damaged (nested more than 8 levels deep): made "
                                       "again from the day records\n");
  EXPECT_TRUE(index_agrees_with_records(work_));

  // The year file from before put back in place with its old time, as a restore does: older
  // than a record of a day drawn, it is made again.
  work_.write(year_file, index_before);
  testing::set_modified_ago(work_ / year_file, 600);
  ASSERT_FALSE(index_agrees_with_records(work_));
  EXPECT_EQ(run_today(work_, unprivileged_).first.standard_error, "");
  EXPECT_TRUE(index_agrees_with_records(work_));

  // A picture restored beside its year file is listed; one removed is dropped.
  const Day restored = days_.days[1].plus(-30);
  const std::string restored_name = "fc/previous_foF2_plots/" + restored.year_and_day() + ".gif";
  work_.write(restored_name, work_.read(archive_of(days_, 1)));
  EXPECT_EQ(run_today(work_, unprivileged_).first.exit_status, 0);
  const auto listed = [&] {
    const std::string years = "fc/previous_foF2_plots/" + restored.year_digits(4) + ".json";
    return work_.read(years).find("\"" + restored.iso() + "\"") != std::string::npos;
  };
  EXPECT_TRUE(listed());
  fs::remove(work_ / restored_name);
  EXPECT_EQ(run_today(work_, unprivileged_).first.exit_status, 0);
  EXPECT_FALSE(listed());

  // The year file of a year that no run draws, damaged in place after the index was sealed:
  // the next run, with nothing new, makes it again.
  const Day old_day = days_.days[1].plus(-400);
  work_.write("fc/previous_foF2_plots/" + old_day.year_and_day() + ".gif",
              work_.read(archive_of(days_, 1)));
  run_today(work_, unprivileged_);
  const std::string old_year = "fc/previous_foF2_plots/" + old_day.year_digits(4) + ".json";
  const std::string sound = work_.read(old_year);
  work_.write(old_year, std::string(sound.size(), '\0'));
  testing::set_modified_ago(work_ / old_year, -1);  // later than the seal, on any clock tick
  EXPECT_NE(run_today(work_, unprivileged_).first.standard_error.find(old_year + "\" is damaged"),
            std::string::npos);
  EXPECT_EQ(work_.read(old_year), sound);
}

TEST_F(StationWork, RunsStartedTogetherWaitForEachOtherAndAKilledRunLeavesNothing) {
  std::vector<testing::StartedProgram> runs;
  for (int i = 0; i < 8; ++i) runs.emplace_back(work_.path(), testing::ProgramOptions{});
  for (auto& run : runs) {
    const auto result = run.wait();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_error, "");
  }
  for (int slot = 1; slot <= 6; ++slot) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;

  // Runs killed at moments from their start to their end, each followed by a normal run. The
  // killed runs have a new measurement to draw, so that they write pictures.
  const auto start = std::chrono::steady_clock::now();
  run_today(work_);
  const auto run_time = std::chrono::steady_clock::now() - start;
  for (int eighth = 0; eighth <= 8; ++eighth) {
    work_.write(testing::measurement_name(days_, 6, 23, eighth),
                testing::measurement_file("Rome", testing::value_field(9.0)));
    testing::StartedProgram killed(work_.path(), {});
    std::this_thread::sleep_for(run_time * eighth / 8);
    killed.kill();
    killed.wait();
    const auto result = run_today(work_).first;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_EQ(leftovers(), std::vector<std::string>{}) << "killed after " << eighth << "/8";
    // Killed between a record and the index, the next run finds the index out of step.
    EXPECT_TRUE(index_agrees_with_records(work_)) << "killed after " << eighth << "/8";
  }
  for (int slot = 1; slot <= 6; ++slot) {
    EXPECT_EQ(testing::Picture::load(work_ / archive_of(days_, slot)),
              testing::Picture::load(work_ / ("www/plotfoF2" + std::to_string(slot) + ".gif")));
  }
}

TEST_F(StationWork, SettingsThatAreNotTextAndABrokenStandardErrorDoNoHarm) {
  // A NUL in the picture folder's line: nothing is written through it, least of all the file
  // named by what comes before the NUL.
  work_.write("victim", "not a picture");
  work_.write("norvane_foF2.ini", "f\r\nfc/\r\no\r\nobs/\r\np\r\nvictim\0/\r\n"s);
  auto result = run_today(work_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error,
            "norvane_foF2: settings file \"" + work_.path() +
                "norvane_foF2.ini\" line 6 holds a control character: \"victim\\x00/\"; nothing "
                "is read or written through that folder\n");
  EXPECT_EQ(work_.read("victim"), "not a picture");

  // Saved as UTF-16: nothing at all is written.
  work_.write("norvane_foF2.ini", std::string("\xFF\xFE"
                                              "f\0\r\0\n\0",
                                              8));
  const auto before = work_.list();
  result = run_today(work_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "norvane_foF2: settings file \"" + work_.path() +
                                       "norvane_foF2.ini\" is UTF-16 text: save it as plain text "
                                       "(ASCII or UTF-8); nothing is read or written\n");
  EXPECT_EQ(work_.list(), before);

  // Nobody reads standard error, or it is closed: the warning of a missing forecast is
  // dropped, the run goes on, and no file the program opens stands in for a closed stream.
  testing::prepare_station_work(work_, days_);
  fs::remove(work_ / ("fc/" + days_.forecast_names[6] + ".txt"));
  for (const auto& streams : {testing::ProgramOptions{.broken_standard_error = true},
                              testing::ProgramOptions{.closed_standard_streams = true}}) {
    fs::remove(work_ / "www/plotfoF26.gif");
    result = run_today(work_, streams).first;
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NO_THROW(testing::Picture::load(work_ / "www/plotfoF26.gif"));
  }
  for (const std::string& name : work_.list()) {
    if (fs::is_regular_file(work_ / name)) {
      EXPECT_EQ(work_.read(name).find("norvane_foF2: "), std::string::npos) << name;
    }
  }
}

TEST_F(StationWork, RunsOfEveryUserShareOneLockAndStationsSharingPicturesKeepTheirOwn) {
  // A run as root, then root holding the station's lock (as a backfill does) while the service's
  // user starts a run: that run waits until the lock is let go.
  ASSERT_EQ(run_today(work_).first.exit_status, 0);
  const int forecast_folder = ::open((work_ / "fc").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(forecast_folder, 0);
  ASSERT_EQ(::flock(forecast_folder, LOCK_EX), 0);
  testing::StartedProgram waiting(work_.path(), unprivileged_);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(waiting.running());
  ::close(forecast_folder);
  const auto waited = waiting.wait();
  EXPECT_EQ(waited.exit_status, 0) << waited.standard_error;

  // A second station writing its current pictures into this station's picture folder: started
  // together, each picture is whole and one of the two stations' figure of its slot.
  testing::TempFolder other;
  testing::prepare_station_work(other, days_);
  for (int day = 1; day <= 6; ++day) {
    std::array<double, 24> forecast{};
    forecast.fill(12.0);
    other.write("fc/" + days_.forecast_names[day] + ".txt", testing::forecast_file(forecast));
  }
  ASSERT_EQ(run_today(other).first.exit_status, 0);
  std::vector<testing::Picture> own, others;
  for (int slot = 1; slot <= 6; ++slot) {
    const std::string name = "www/plotfoF2" + std::to_string(slot) + ".gif";
    own.push_back(testing::Picture::load(work_ / name));
    others.push_back(testing::Picture::load(other / name));
  }
  other.write("norvane_foF2.ini", "f\nfc/\no\nobs/\np\n" + work_.path() + "www/\n");
  std::vector<testing::StartedProgram> runs;
  for (int i = 0; i < 6; ++i)
    runs.emplace_back(i % 2 == 0 ? work_.path() : other.path(), testing::ProgramOptions{});
  for (auto& run : runs) {
    const auto result = run.wait();
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
  }
  for (int slot = 1; slot <= 6; ++slot) {
    const auto picture =
        testing::Picture::load(work_ / ("www/plotfoF2" + std::to_string(slot) + ".gif"));
    const auto index = static_cast<std::size_t>(slot - 1);
    EXPECT_TRUE(picture == own[index] || picture == others[index]) << "slot " << slot;
  }
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(StationWork, AForecastFileGoneForAWhileLeavesTheArchiveItsForecast) {
  // Last month's file cleared away, this month's being replaced: the days keep their curves.
  for (int slot = 1; slot <= 6; ++slot)
    fs::remove(work_ / ("fc/" + days_.forecast_names[slot] + ".txt"));
  const auto result = run_today(work_, unprivileged_).first;
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_NE(result.standard_error.find("(the forecast curve of the day's record drawn)"),
            std::string::npos);
  for (int slot = 1; slot <= 5; ++slot) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  EXPECT_FALSE(json_in(work_, archive_of(days_, 3, ".json"))["forecast_mhz"][12].is_null());
}

TEST_F(StationWork, ARunAsRootFollowsNoLinkAnotherUserCouldHaveMade) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  // A station's uploader links a measurement name to a file only root may read.
  work_.write("secret", "root only\nline 2\n               42.7\n");
  std::string name;
  day_file_names(4, days_.days[6]).name(name, "23", "59");
  ASSERT_EQ(::symlink((work_ / "secret").c_str(), (work_ / ("obs/" + name)).c_str()), 0);
  const auto linked = run_today(work_).first;
  EXPECT_EQ(linked.exit_status, 1);
  EXPECT_NE(linked.standard_error.find(name + "\": a link, which a run as root does not follow"),
            std::string::npos);
  EXPECT_EQ(work_.read(archive_of(days_, 6, ".csv")).find("42.7"), std::string::npos);
  // The station's account turns the archive folder into a link to another folder.
  const std::string archive = work_ / "fc/previous_foF2_plots";
  fs::rename(archive, work_ / "fc/old_archive");
  fs::create_directory(work_ / "elsewhere");
  ASSERT_EQ(::symlink((work_ / "elsewhere").c_str(), archive.c_str()), 0);
  ASSERT_EQ(::lchown(archive.c_str(), 65534, 65534), 0);
  const auto refused = run_today(work_).first;
  EXPECT_EQ(refused.standard_error, "norvane_foF2: archive folder \"" + archive +
                                        "/\" is a link made by user 65534, which a run as root "
                                        "does not follow (nothing written)\n");
  EXPECT_TRUE(work_.list("elsewhere/").empty());
}

TEST_F(StationWork, AMeasurementFileOfAnySizeCostsAPageOfReading) {
  // An upload gone wrong: 8 GiB without a line end. And a file longer than a page whose three
  // lines lie in its first page, which is a measurement like any other.
  const std::string sparse = testing::measurement_name(days_, 6, 1, 7);
  work_.write(sparse, "Rome");
  ASSERT_EQ(::truncate((work_ / sparse).c_str(), off_t{8} << 30), 0);
  work_.write(testing::measurement_name(days_, 6, 2, 7),
              testing::measurement_file("Rome", testing::value_field(9.0)) +
                  std::string(3 * InputFile::page_bytes, '#'));
  const auto [run, days] = run_today(work_, unprivileged_);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            "norvane_foF2: cannot read measurement file \"" + (work_ / sparse) +
                "\": larger than a measurement file can be: its first 4096 "
                "bytes hold no three lines (the archive keeps what it recorded of its day)\n");
  EXPECT_EQ(testing::figure_pixel(testing::Picture::load(work_ / "www/plotfoF26.gif"), 21, 90),
            colours::measured);
  const auto check = testing::run_program(work_.path(), {.arguments = {"--check"}});
  EXPECT_NE(check.standard_output.find("\nmeasurement file \"" + (work_ / sparse) +
                                       "\" is 8589934592 bytes, larger than a measurement file "
                                       "can be\n"),
            std::string::npos)
      << check.standard_output;
}

// Whether a record lock of another open file holds the byte `byte` of the file at `path`.
bool record_locked(const std::string& path, off_t byte) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_start = byte;
  probe.l_len = 1;
  const bool locked = fd >= 0 && ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  if (fd >= 0) ::close(fd);
  return locked;
}

TEST(RunLock, OnlyTheStationsUsersCanHoldItAndARunOnAnotherMachineIsWaitedFor) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to try as another user";
  testing::TempFolder work;
  PlotState days;
  build_day_table(days, testing::local_today());
  testing::prepare_station_work(work, days);
  // The installation's modes: the station's users alone may open the forecast folder; the web
  // server passes through it to the archive.
  fs::permissions(work.path(), fs::perms(0755));
  fs::permissions(work / "fc", fs::perms(0771));
  ASSERT_EQ(run_today(work).first.exit_status, 0);
  const std::string lock_file = work / ("fc/" + std::string(run_lock_file_name));
  const std::string archive = work / archive_of(days, 6);
  const pid_t other = ::fork();
  if (other == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(9);
    const bool folder_refused = ::open((work / "fc").c_str(), O_RDONLY | O_DIRECTORY) < 0;
    const bool file_refused = ::open(lock_file.c_str(), O_RDONLY) < 0;
    const bool archive_read = ::open(archive.c_str(), O_RDONLY) >= 0;
    ::_exit(folder_refused && file_refused && archive_read ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  auto check = testing::run_program(work.path(), {.arguments = {"--check"}});
  EXPECT_NE(check.standard_output.find("\nrun lock: can be taken, and other users of this machine "
                                       "cannot open the forecast folder or its lock file\n"),
            std::string::npos)
      << check.standard_output;
  fs::permissions(work / "fc", fs::perms(0775));
  check = testing::run_program(work.path(), {.arguments = {"--check"}});
  EXPECT_NE(check.standard_output.find("any user could hold the run lock (chmod 0771 '" +
                                       work.path() + "fc/')"),
            std::string::npos)
      << check.standard_output;

  // A run on another machine sharing the folder holds the record lock through the file
  // system's server: a run here waits in turn until it is let go. (Held here as a lock of the
  // open file, which record_locked's own opening and closing of the file leaves alone.)
  const int held = ::open(lock_file.c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_len = 1;
  ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &lock), 0);
  testing::StartedProgram waiting(work.path(), {});
  for (int i = 0; i < 20000 && !record_locked(lock_file, 1); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(waiting.running());
  timespec let_go{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &let_go);
  ::close(held);
  EXPECT_EQ(waiting.wait().exit_status, 0);
  struct stat picture {};
  ASSERT_EQ(::stat((work / "www/plotfoF26.gif").c_str(), &picture), 0);
  EXPECT_GE(picture.st_mtim.tv_sec * 1'000'000'000LL + picture.st_mtim.tv_nsec,
            let_go.tv_sec * 1'000'000'000LL + let_go.tv_nsec);

  // A forecast folder the run's user may write in and pass through but not read: no lock, and
  // the check says so.
  ASSERT_EQ(::chown((work / "fc").c_str(), 65534, 65534), 0);
  fs::permissions(work / "fc", fs::perms(0333));
  testing::open_to_everyone(work / "obs");
  fs::permissions(work / "www", fs::perms(0777));
  const auto refused = testing::run_program(work.path(), {.unprivileged = true});
  EXPECT_EQ(refused.standard_error, "norvane_foF2: cannot take the run lock \"" + work.path() +
                                        "fc/\": Permission denied (nothing written)\n");
  check = testing::run_program(work.path(), {.arguments = {"--check"}, .unprivileged = true});
  EXPECT_NE(check.standard_output.find("\nrun lock: the forecast folder \"" + work.path() +
                                       "fc/\" cannot be opened for reading, so a run cannot take "
                                       "its lock: Permission denied\n"),
            std::string::npos)
      << check.standard_output;
  EXPECT_NE(check.standard_output.find("verdict: not ready: the run lock cannot be taken"),
            std::string::npos)
      << check.standard_output;
}

}  // namespace
}  // namespace norvane
