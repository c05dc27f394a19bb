// SPDX-License-Identifier: MIT
// The built program, run as the scheduler and an operator run it, in a temporary working folder.
#include "support/program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "driver/backfill.h"
#include "driver/day_table.h"
#include "support/gif_picture.h"
#include "support/station_files.h"
#include "support/station_work.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

// The pictures among a folder's names (beside them: the run record, the archive index).
long gif_count(const std::vector<std::string>& names) {
  return std::ranges::count_if(names,
                               [](const std::string& name) { return name.ends_with(".gif"); });
}

using testing::figure_pixel;
using testing::local_today;
using testing::run_today;

TEST(Program, OneQuietRunWritesTwelvePicturesWithForecastAndMeasurements) {
  testing::TempFolder work;
  PlotState expected_days;
  build_day_table(expected_days, local_today());
  testing::prepare_station_work(work, expected_days);

  const auto [result, days] = run_today(work);
  ASSERT_EQ(days.date_labels[6], expected_days.date_labels[6]) << "the date changed meanwhile";
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_output, "");
  EXPECT_EQ(result.standard_error, "");

  for (int slot = 1; slot <= 6; ++slot) {
    const std::string year = days.forecast_names[slot].substr(2);
    const auto current =
        testing::Picture::load(work / ("www/plotfoF2" + std::to_string(slot) + ".gif"));
    const auto archive = testing::Picture::load(
        work / ("fc/previous_foF2_plots/" + year + days.doy_codes[slot] + ".gif"));
    EXPECT_EQ(current, archive) << "slot " << slot;
    EXPECT_EQ(current.width(), 286);
    EXPECT_EQ(current.height(), 231);
    EXPECT_EQ(current.at(35, 190), colours::border);
    EXPECT_EQ(current.at(276, 21), colours::border);
    // The date line's glyphs in the band above the plot area.
    int date_pixels = 0;
    for (int row = 4; row < 17; ++row) {
      for (int column = 110; column < 110 + 16 * 7; ++column) {
        date_pixels += current.at(column, row) == colours::text;
      }
    }
    EXPECT_GT(date_pixels, 100) << "slot " << slot;
    // The month's forecast dots, and a red dot at hh:30 (x = 10 h + 5) for every hour.
    const double forecast_y = 55 + std::stoi(days.forecast_names[slot].substr(0, 2));
    EXPECT_EQ(figure_pixel(current, 0, forecast_y), colours::forecast) << "slot " << slot;
    EXPECT_EQ(figure_pixel(current, 230, forecast_y), colours::forecast) << "slot " << slot;
    for (int hour = 0; hour < 24; ++hour) {
      const double value = 10 * (2 + slot + hour / 4.0);
      EXPECT_EQ(figure_pixel(current, 10 * hour + 5, value), colours::measured)
          << "slot " << slot << ", hour " << hour;
    }
  }
  // Nothing else is left behind: no BMP, no temporary file; only the lock file stays.
  EXPECT_EQ(gif_count(work.list("www")), 6);
  EXPECT_EQ(gif_count(work.list("fc/previous_foF2_plots")), 6);
  for (const std::string& name : work.list("fc")) {
    EXPECT_TRUE(name.ends_with(".txt") || name.starts_with("previous_foF2_plots") ||
                name == ".norvane_foF2.lock")
        << name;
  }
}

TEST(Program, ANextRunKeepsThePicturesOfFinishedDaysAndDrawsNewMeasurements) {
  testing::TempFolder work;
  PlotState expected_days;
  build_day_table(expected_days, local_today());
  testing::prepare_station_work(work, expected_days);
  const auto first = run_today(work).first;
  ASSERT_EQ(first.exit_status, 0);

  struct stat before[7]{};
  for (int slot = 1; slot <= 6; ++slot) {
    const std::string picture = work / ("www/plotfoF2" + std::to_string(slot) + ".gif");
    testing::set_modified_ago(picture, 600);
    ASSERT_EQ(::stat(picture.c_str(), &before[slot]), 0);
  }
  // A finished day's picture spoiled in place, its size kept: the next run must not take it
  // for the GIF it wrote.
  const std::string spoiled = "www/plotfoF23.gif";
  const std::string drawn = work.read(spoiled);
  std::string garbled = drawn;
  garbled[garbled.size() / 2] ^= 0x5a;
  if (std::FILE* file = std::fopen((work / spoiled).c_str(), "r+b")) {
    std::fwrite(garbled.data(), 1, garbled.size(), file);
    std::fclose(file);
  }
  ASSERT_EQ(work.read(spoiled), garbled);
  // A new measurement of today at 10:45 (x = 107); the folder listed long after it came, so
  // that one listing serves all six days.
  work.write(testing::measurement_name(expected_days, 6, 10, 45),
             testing::measurement_file("Rome", testing::value_field(15.0)));
  testing::set_modified_ago(work / "obs", 60);
  const auto second = run_today(work).first;
  EXPECT_EQ(second.exit_status, 0);
  EXPECT_EQ(second.standard_error, "");

  for (int slot = 1; slot <= 6; ++slot) {
    const std::string picture = work / ("www/plotfoF2" + std::to_string(slot) + ".gif");
    struct stat after {};
    ASSERT_EQ(::stat(picture.c_str(), &after), 0);
    EXPECT_GT(after.st_mtim.tv_sec, before[slot].st_mtim.tv_sec) << "slot " << slot;
    if (slot == 3) {
      EXPECT_EQ(work.read(spoiled), drawn) << "the spoiled picture was kept";
    } else if (slot < 6) {
      EXPECT_EQ(after.st_ino, before[slot].st_ino) << "slot " << slot << " was rewritten";
    } else {
      EXPECT_NE(after.st_ino, before[slot].st_ino) << "today's picture was not rewritten";
      EXPECT_EQ(figure_pixel(testing::Picture::load(picture), 107, 150), colours::measured);
    }
  }
  EXPECT_EQ(gif_count(work.list("www")), 6);
}

TEST(Program, ReportsWhatWentWrongAndFails) {
  testing::TempFolder work;
  PlotState expected_days;
  build_day_table(expected_days, local_today());
  testing::prepare_station_work(work, expected_days);
  std::filesystem::remove(work / "fc/previous_foF2_plots");
  const auto [result, days] = run_today(work);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "norvane_foF2: cannot write archive pictures in folder \"" +
                                       work.path() +
                                       "fc/previous_foF2_plots/\": No such file or directory\n");
  EXPECT_EQ(gif_count(work.list("www")), 6);
}

// Every entry below `work`: its name, type and modification time, and a file's content.
std::vector<std::string> snapshot(const testing::TempFolder& work) {
  std::vector<std::string> entries;
  for (const std::string& name : work.list()) {
    struct stat info {};
    ::lstat((work / name).c_str(), &info);
    std::string entry = name;
    for (const auto number :
         {static_cast<long long>(info.st_mode), static_cast<long long>(info.st_mtim.tv_sec),
          static_cast<long long>(info.st_mtim.tv_nsec)}) {
      entry += ' ';
      entry += std::to_string(number);
    }
    if (S_ISREG(info.st_mode)) {
      entry += ' ';
      entry += work.read(name);
    }
    entries.push_back(entry);
  }
  return entries;
}

// The pictures of a run, by name, with their bytes; removed from the folder.
std::vector<std::string> take_pictures(const testing::TempFolder& work) {
  std::vector<std::string> pictures;
  for (const std::string folder : {"www/", "fc/previous_foF2_plots/"}) {
    for (const std::string& name : work.list(folder)) {
      // The run record tells the time of its run: only the pictures are the same.
      if (name.ends_with(".gif"))
        pictures.push_back(folder + name + " " + work.read(folder + name));
      std::filesystem::remove(work / (folder + name));
    }
  }
  return pictures;
}

// What `git describe --always --dirty` says of the sources now; "" outside a git checkout.
std::string source_revision_now() {
  const std::string command =
      "git -C '" NORVANE_SOURCE_DIR "' describe --always --dirty 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  char text[256] = {};
  const bool read = std::fgets(text, sizeof text, pipe) != nullptr;
  ::pclose(pipe);
  std::string revision = read ? text : "";
  if (revision.ends_with('\n')) revision.pop_back();
  return revision;
}

TEST(Program, HelpVersionAndUsageErrorsLeaveTheFolderAsItWas) {
  testing::TempFolder work;
  PlotState days;
  build_day_table(days, local_today());
  testing::prepare_station_work(work, days);
  const auto before = snapshot(work);

  const auto help = testing::run_program(work.path(), {.arguments = {"--help"}});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_TRUE(help.standard_output.starts_with(
      "Usage: norvane_foF2 [-C DIR] [--metrics FILE] [--backfill FROM TO [--redraw]]\n"))
      << help.standard_output;
  EXPECT_EQ(help.standard_error, "");

  // The release, and the revision of the sources as the build saw them: a new commit or an edit
  // shows after the next build without a new configure.
  const auto version = testing::run_program(work.path(), {.arguments = {"--version"}});
  EXPECT_EQ(version.exit_status, 0);
  const std::string revision = source_revision_now();
  EXPECT_EQ(version.standard_output, "norvane_foF2 " NORVANE_VERSION +
                                         (revision.empty() ? "" : " (git " + revision + ")") +
                                         "\ngiflib " NORVANE_GIFLIB_VERSION "\n");
  EXPECT_EQ(version.standard_error, "");
  // What was asked for never arrived: said, and a failure.
  for (const char* asked : {"--version", "--check"}) {
    const auto lost =
        testing::run_program(work.path(), {.arguments = {asked}, .full_standard_output = true});
    EXPECT_EQ(lost.exit_status, 1) << asked;
    EXPECT_TRUE(
        lost.standard_error.ends_with("norvane_foF2: write error: No space left on device\n"))
        << lost.standard_error;
  }

  const struct {
    std::vector<std::string> arguments;
    std::string message;  // the start of the line that says what is wrong
  } usage_errors[] = {
      {{"foo"}, "unexpected argument \"foo\""},
      {{"--", "--check"}, "unexpected argument \"--check\""},
      {{"-x"}, "unknown option \"-x\""},
      {{"--check=yes"}, "option --check takes no value"},
      {{"-C"}, "option -C needs a folder"},
      {{"--directory="}, "--directory \"\": an empty folder name"},
      {{"-C", "missing"}, "-C \"missing\": No such file or directory"},
      {{"--directory=norvane_foF2.ini"}, "-C \"norvane_foF2.ini\": not a folder"},
      {{"-C", ".", "-Cfc"}, "-C (--directory) given more than once"},
      {{"--check", "--backfill", "2020-01-01", "2020-01-02"},
       "--check and --backfill do not go together"},
      {{"--backfill", "2020-01-01"}, "--backfill needs two dates"},
      {{"--metrics"}, "option --metrics needs a file"},
      {{"--metrics="}, "--metrics \"\": an empty file name"},
      {{"--metrics=a.prom", "--metrics", "b.prom"}, "--metrics given more than once"},
      {{"--metrics", "a.prom", "--check"}, "--check and --metrics do not go together"},
      {{"--backfill", "2020-02-30", "2020-03-01"}, "--backfill: FROM \"2020-02-30\" is not a date"},
      {{"--backfill", "2020-03-02", "2020-03-01"}, "--backfill: FROM 2020-03-02 is after TO"},
      {{"--backfill", "2020-03-01", "9999-12-31"}, "--backfill: TO 9999-12-31 is after today"},
      {{"--backfill", "0026-01-01", "2026-01-01"}, "--backfill: FROM 0026-01-01 is before 1900"},
      {{"--redraw"}, "--redraw goes with --backfill only"},
  };
  for (const auto& usage_error : usage_errors) {
    const auto result = testing::run_program(work.path(), {.arguments = usage_error.arguments});
    EXPECT_EQ(result.exit_status, 2) << usage_error.message;
    EXPECT_TRUE(result.standard_error.starts_with("norvane_foF2: " + usage_error.message))
        << result.standard_error;
    EXPECT_TRUE(result.standard_error.ends_with("\nTry 'norvane_foF2 --help'.\n"))
        << result.standard_error;
    EXPECT_EQ(std::count(result.standard_error.begin(), result.standard_error.end(), '\n'), 2)
        << result.standard_error;
    EXPECT_EQ(result.standard_output, "") << usage_error.message;
  }
  EXPECT_EQ(snapshot(work), before);
}

TEST(Program, WorksInTheFolderOfDirectoryAsIfStartedThere) {
  testing::TempFolder work;
  PlotState days;
  build_day_table(days, local_today());
  testing::prepare_station_work(work, days);
  const std::string parent = std::filesystem::path(work.path()).parent_path().parent_path();
  const std::string name = std::filesystem::path(work.path()).parent_path().filename();
  for (;;) {
    const auto day = local_today();
    const auto started_there = testing::run_program(work.path());
    const auto pictures = take_pictures(work);
    const auto relative = testing::run_program(parent, {.arguments = {"-C", name}});
    const auto relative_pictures = take_pictures(work);
    const auto absolute =
        testing::run_program("/", {.arguments = {"--directory=" + work.path(), "--"}});
    const auto absolute_pictures = take_pictures(work);
    if (local_today() != day) continue;  // the runs crossed midnight: run them again

    EXPECT_EQ(started_there.exit_status, 0);
    EXPECT_EQ(started_there.standard_error, "");
    EXPECT_EQ(pictures.size(), 12u);
    for (const auto& result : {relative, absolute}) {
      EXPECT_EQ(result.exit_status, 0);
      EXPECT_EQ(result.standard_output, "");
      EXPECT_EQ(result.standard_error, "");
    }
    EXPECT_TRUE(relative_pictures == pictures);
    EXPECT_TRUE(absolute_pictures == pictures);
    break;
  }
}

TEST(Program, MetricsFileTellsWhatEachRunDidAndOnlyWarnsWhenItCannotBeWritten) {
  using namespace std::chrono;
  testing::TempFolder work;
  PlotState days;
  build_day_table(days, local_today());
  testing::prepare_station_work(work, days);
  const std::string parent = std::filesystem::path(work.path()).parent_path().parent_path();
  const std::string name = std::filesystem::path(work.path()).parent_path().filename();
  // The value of metric `name` of the station in `file`, or "" when it has none.
  const auto metric = [&](const std::string& file, const std::string& metric_name) {
    const std::string text = work.read(file);
    const std::string start = "\nnorvane_fof2_" + metric_name + "{station=\"" + name + "\"} ";
    const auto at = text.find(start);
    return at == std::string::npos
               ? ""
               : text.substr(at + start.size(), text.find('\n', at + 1) - at - start.size());
  };

  // FILE is taken from the current directory, not from -C's folder.
  const auto day = local_today();
  const auto started = system_clock::now();
  const auto ok =
      testing::run_program(parent, {.arguments = {"-C", name, "--metrics", name + "/m.prom"}});
  const auto ended = system_clock::now();
  EXPECT_EQ(ok.exit_status, 0);
  EXPECT_EQ(ok.standard_error, "");
  EXPECT_EQ(metric("m.prom", "last_run_success"), "1");
  EXPECT_EQ(metric("m.prom", "pictures_written"), "12");
  const sys_seconds finished{seconds{std::stoll(metric("m.prom", "last_run_timestamp_seconds"))}};
  EXPECT_TRUE(finished >= floor<seconds>(started) && finished <= ended);
  // Every day's files run to 23:30 UT; the newest is today's.
  const sys_seconds newest = sys_days{day} + hours{23} + minutes{30};
  if (local_today() == day) {
    EXPECT_EQ(metric("m.prom", "newest_measurement_timestamp_seconds"),
              std::to_string(newest.time_since_epoch().count()));
    // Its value, 2 + 6 + 23 / 4 MHz; no curve is drawn after 23:00 UT.
    EXPECT_EQ(metric("m.prom", "newest_measurement_mhz"), "13.8");
    EXPECT_EQ(metric("m.prom", "newest_curve_mhz"), "");
  }

  const auto unwritable = testing::run_program(work.path(), {.arguments = {"--metrics=no/m.prom"}});
  EXPECT_EQ(unwritable.exit_status, 0);
  EXPECT_EQ(unwritable.standard_error, "norvane_foF2: cannot write metrics file \"" + work.path() +
                                           "no/m.prom\": No such file or directory (monitoring "
                                           "not told of this run)\n");

  // A failed run, one that could not start (its settings refused), and a backfill write it too.
  std::filesystem::remove_all(work / "fc/previous_foF2_plots");
  EXPECT_EQ(testing::run_program(work.path(), {.arguments = {"--metrics=f.prom"}}).exit_status, 1);
  EXPECT_EQ(metric("f.prom", "last_run_success"), "0");
  work.make_folder("fc/previous_foF2_plots");
  const std::string settings = work.read("norvane_foF2.ini");
  work.write("norvane_foF2.ini", std::string("\xFF\xFE"
                                             "f\0c\0\n\0",
                                             8));
  EXPECT_EQ(testing::run_program(work.path(), {.arguments = {"--metrics=r.prom"}}).exit_status, 1);
  EXPECT_EQ(metric("r.prom", "last_run_success"), "0");
  work.write("norvane_foF2.ini", settings);
  const std::string today = iso_date(local_today());
  testing::run_program(work.path(),
                       {.arguments = {"--backfill", today, today, "--metrics", "b.prom"}});
  EXPECT_EQ(metric("b.prom", "last_run_success"), "1");
  // A run record that cannot be written fails the run, and monitoring hears of it.
  std::filesystem::remove(work / "www/plotfoF2.json");
  work.make_folder("www/plotfoF2.json");
  EXPECT_EQ(testing::run_program(work.path(), {.arguments = {"--metrics=w.prom"}}).exit_status, 1);
  EXPECT_EQ(metric("w.prom", "last_run_success"), "0");
}

// The archive's files by name, with their bytes; the days' records without when they were drawn.
std::vector<std::string> archive_files(const testing::TempFolder& work) {
  std::vector<std::string> files;
  for (const std::string& name : work.list("fc/previous_foF2_plots")) {
    std::string content = work.read("fc/previous_foF2_plots/" + name);
    if (name.size() == 12 && name.ends_with(".json")) {
      auto record = nlohmann::json::parse(content);
      record.erase("drawn_at");
      content = record.dump();
    }
    files.push_back(name + " " + content);
  }
  return files;
}

// The sample of metric norvane_fof2_`name` of `station` in a metrics file's `text`; "" when it
// has none.
std::string metric_sample(const std::string& text, const std::string& name,
                          const std::string& station) {
  const std::string start = "\nnorvane_fof2_" + name + "{station=\"" + station + "\"} ";
  const auto at = text.find(start);
  if (at == std::string::npos) return "";
  const auto value = at + start.size();
  return text.substr(value, text.find('\n', value) - value);
}

TEST(Program, ARunAndTheCheckAgreeOnWarningsAndMonitoringSeesThem) {
  testing::TempFolder work;
  PlotState table;
  build_day_table(table, local_today());
  testing::prepare_station_work(work, table);
  const std::string station = std::filesystem::path(work.path()).parent_path().filename();
  // The picture folder's line without its separator, and no forecast for today's month.
  work.write("norvane_foF2.ini", "forecasts\nfc/\nmeasurements\nobs/\npictures\nwww\n");
  std::filesystem::remove(work / ("fc/" + table.forecast_names[6] + ".txt"));

  const auto [run, days] = run_today(work, {.arguments = {"--metrics", "m.prom"}});
  EXPECT_EQ(run.exit_status, 0);
  std::vector<std::string> warnings;
  for (std::size_t at = 0; at < run.standard_error.size();) {
    const auto end = run.standard_error.find('\n', at);
    warnings.push_back(run.standard_error.substr(at + 14, end - at - 14));  // no "norvane_foF2: "
    at = end + 1;
  }
  ASSERT_EQ(warnings.size(), 2u) << run.standard_error;
  EXPECT_NE(warnings[0].find("\"www\" names a folder but does not end in \"/\""),
            std::string::npos);
  EXPECT_NE(warnings[1].find("cannot read forecast file"), std::string::npos);
  EXPECT_TRUE(work.exists("wwwplotfoF21.gif"));
  int without_forecast = 0;
  for (int slot = 1; slot <= 6; ++slot) {
    without_forecast += days.forecast_names[slot] == days.forecast_names[6];
  }
  const std::string metrics = work.read("m.prom");
  EXPECT_EQ(metric_sample(metrics, "last_run_success", station), "1");
  EXPECT_EQ(metric_sample(metrics, "last_run_warnings", station), "2");
  EXPECT_EQ(metric_sample(metrics, "days_without_forecast", station),
            std::to_string(without_forecast));

  const auto check = testing::run_program(work.path(), {.arguments = {"--check"}});
  EXPECT_EQ(check.exit_status, 0);
  for (const std::string& warning : warnings) {
    EXPECT_NE(check.standard_output.find("\nwarning: " + warning + "\n"), std::string::npos)
        << check.standard_output;
  }
  EXPECT_TRUE(check.standard_output.ends_with(
      "\nverdict: ready, with 2 warnings: a run now would write all twelve pictures; see the "
      "warnings above\n"))
      << check.standard_output;

  // No file of today or yesterday: a run still exits with 0 and says nothing of it, so the check
  // stays ready, with a warning of its own.
  for (int slot : {5, 6}) {
    for (int hour = 0; hour < 24; ++hour) {
      std::filesystem::remove(work / testing::measurement_name(days, slot, hour, 30));
    }
  }
  EXPECT_EQ(testing::run_program(work.path()).exit_status, 0);
  const auto stale = testing::run_program(work.path(), {.arguments = {"--check"}});
  EXPECT_EQ(stale.exit_status, 0);
  EXPECT_NE(stale.standard_output.find("\nwarning: no measurement file of today or yesterday"),
            std::string::npos);
  EXPECT_NE(stale.standard_output.find("\nverdict: ready, with 3 warnings"), std::string::npos)
      << stale.standard_output;

  // A run that cannot start (its settings refused) tells its failure and its warnings, repeats
  // what the file said of the pictures in place, and leaves out what it wrote.
  const std::string newest =
      metric_sample(metrics, "newest_measurement_timestamp_seconds", station);
  ASSERT_NE(newest, "");
  work.write("norvane_foF2.ini", std::string("\xFF\xFE"
                                             "f\0c\0\n\0",
                                             8));
  EXPECT_EQ(testing::run_program(work.path(), {.arguments = {"--metrics", "m.prom"}}).exit_status,
            1);
  const std::string refused = work.read("m.prom");
  EXPECT_EQ(metric_sample(refused, "last_run_success", station), "0");
  EXPECT_EQ(metric_sample(refused, "last_run_warnings", station), "0");
  EXPECT_EQ(metric_sample(refused, "newest_measurement_timestamp_seconds", station), newest);
  EXPECT_EQ(metric_sample(refused, "newest_measurement_mhz", station),
            metric_sample(metrics, "newest_measurement_mhz", station));
  EXPECT_EQ(metric_sample(refused, "days_without_forecast", station),
            std::to_string(without_forecast));
  EXPECT_EQ(refused.find("pictures_written"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("archive_pictures_kept"), std::string::npos) << refused;
  // Without a file before it, it says nothing of them at all.
  testing::run_program(work.path(), {.arguments = {"--metrics", "first.prom"}});
  EXPECT_EQ(work.read("first.prom").find("newest_measurement"), std::string::npos);
}

TEST(Program, BackfillRedrawsTheArchivePicturesOfARunAndLeavesTheCurrentOnes) {
  testing::TempFolder work;
  PlotState table;
  build_day_table(table, local_today());
  testing::prepare_station_work(work, table);
  for (;;) {
    const auto day = local_today();
    ASSERT_EQ(testing::run_program(work.path()).exit_status, 0);
    const std::vector<std::string> archive = archive_files(work);
    for (const std::string& name : work.list("fc/previous_foF2_plots")) {
      std::filesystem::remove(work / ("fc/previous_foF2_plots/" + name));
    }
    for (const std::string& name : work.list("www"))
      std::filesystem::remove(work / ("www/" + name));
    const std::string from =
        iso_date(std::chrono::year_month_day{std::chrono::sys_days{day} - std::chrono::days{5}});
    const auto result =
        testing::run_program(work.path(), {.arguments = {"--backfill", from, iso_date(day)}});
    if (local_today() != day) continue;  // the runs crossed midnight: run them again

    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.standard_output, "backfill " + from + " to " + iso_date(day) +
                                          ": 6 archive pictures written, 0 unchanged, 0 kept as "
                                          "they were, 0 not written; 0 days without a "
                                          "measurement file\n");
    EXPECT_TRUE(archive_files(work) == archive);
    EXPECT_EQ(work.list("www"), std::vector<std::string>{});
    break;
  }
}

TEST(Program, CheckSaysWhetherARunWouldWriteEverythingAndWritesNothing) {
  testing::TempFolder work;
  PlotState expected_days;
  build_day_table(expected_days, local_today());
  testing::prepare_station_work(work, expected_days);
  const auto before = snapshot(work);

  const auto [ready, days] = run_today(work, {.arguments = {"--check"}});
  EXPECT_EQ(ready.exit_status, 0);
  EXPECT_EQ(ready.standard_error, "");
  const std::string& report = ready.standard_output;
  EXPECT_NE(report.find("\npicture folder (current pictures): line 6 \"www\\\\\" gives \"" +
                        work.path() + "www/\": a folder, writable\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\nmeasurement folder: 144 files, the first \"RM041_"), std::string::npos)
      << report;
  EXPECT_NE(report.find("\nmeasurements of " + days.date_labels[6] +
                        " (today): 24 files, the newest at 23:30 UT\n"),
            std::string::npos)
      << report;
  EXPECT_TRUE(report.ends_with(
      "\nverdict: ready: a run now would write all twelve pictures with forecasts and "
      "measurements\n"))
      << report;
  EXPECT_EQ(snapshot(work), before);

  // Checked as root while another user owns the folders the service writes: the report says so
  // and how to check as that user.
  namespace fs = std::filesystem;
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((work / "fc").c_str(), 65534, 65534), 0);
    const std::string hint = "runuser -u 'nobody' -- norvane_foF2 -C '" + work.path() + "' --check";
    const auto as_root = testing::run_program(work.path(), {.arguments = {"--check"}});
    EXPECT_NE(as_root.standard_output.find("\nchecked as user \"root\" (uid 0)"), std::string::npos)
        << as_root.standard_output;
    EXPECT_NE(as_root.standard_output.find(hint), std::string::npos) << as_root.standard_output;
  }

  // As another user: a missing picture folder, no forecast for today's month (a warning), a
  // folder where today's archive picture goes, and today's files copied with mode 600 by root:
  // a run would fail, so the check is not ready, and says why.
  testing::open_to_everyone(work.path());
  fs::remove_all(work / "www");
  fs::remove(work / ("fc/" + days.forecast_names[6] + ".txt"));
  const std::string archive =
      "fc/previous_foF2_plots/" + days.forecast_names[6].substr(2) + days.doy_codes[6] + ".gif";
  fs::remove(work / archive);
  work.make_folder(archive);
  for (int hour = 0; hour < 12; ++hour) {
    fs::permissions(work / testing::measurement_name(days, 6, hour, 30), fs::perms::owner_read);
  }
  const auto broken_before = snapshot(work);
  const auto broken =
      testing::run_program(work.path(), {.arguments = {"--check"}, .unprivileged = true});
  EXPECT_EQ(broken.exit_status, 1);
  EXPECT_EQ(broken.standard_error, "");
  EXPECT_NE(broken.standard_output.find(
                "\npicture folder (current pictures): line 6 \"www\\\\\" gives \"" + work.path() +
                "www/\": missing\n"),
            std::string::npos)
      << broken.standard_output;
  EXPECT_NE(broken.standard_output.find("\ncannot read 12 measurement files, the first \"" +
                                        work.path() + testing::measurement_name(days, 6, 0, 30) +
                                        "\": Permission denied"),
            std::string::npos)
      << broken.standard_output;
  // The missing forecast is a warning, as in a run.
  EXPECT_NE(broken.standard_output.find("\nwarning: cannot read forecast file \"" + work.path() +
                                        "fc/" + days.forecast_names[6] + ".txt\""),
            std::string::npos)
      << broken.standard_output;
  EXPECT_TRUE(broken.standard_output.ends_with(
      "\nverdict: not ready: any user could hold the run lock (chmod 0771 '" + work.path() +
      "fc/'); a folder stands where a run writes \"" + work.path() + archive +
      "\"; the picture folder is missing; 12 measurement files cannot be read\n"))
      << broken.standard_output;
  EXPECT_EQ(snapshot(work), broken_before);
}

}  // namespace
}  // namespace norvane
