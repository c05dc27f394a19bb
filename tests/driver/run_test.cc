// SPDX-License-Identifier: MIT
#include "driver/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "driver/run_session.h"
#include "support/gif_picture.h"
#include "support/messages.h"
#include "support/station_files.h"
#include "support/temp_folder.h"
#include "util/diagnostics.h"

namespace norvane {
namespace {

using namespace std::chrono;

struct RunResult {
  ExitStatus status;
  std::string messages;
};

RunResult run_in(const testing::TempFolder& work, year_month_day today) {
  std::ostringstream messages;
  const ExitStatus status = run({work.path(), today, testing::into(messages)});
  return {status, messages.str()};
}

// A working folder with its settings file, its folders, and a station's measurement folder.
void prepare_work(const testing::TempFolder& work) {
  work.write("norvane_foF2.ini",
             "forecasts\r\nfc\\\r\nmeasurements\r\nobs\\\r\npictures\r\nwww\\\r\n");
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("www");
  work.write("obs/RM041_2000001000000.TXT", testing::measurement_file("Rome", " 1.0"));
}

// The names that are not hidden: the pictures and the record, without the record's turns.
std::vector<std::string> visible(std::vector<std::string> names) {
  std::erase_if(names, [](const std::string& name) { return name.starts_with('.'); });
  return names;
}

// The archive's pictures and index files, without the days' records and CSVs.
std::vector<std::string> pictures_and_index(std::vector<std::string> names) {
  std::erase_if(names, [](const std::string& name) {
    return name.ends_with(".csv") || (name.size() == 12 && name.ends_with(".json"));
  });
  return names;
}

std::array<double, 24> flat_forecast(double mhz) {
  std::array<double, 24> values{};
  values.fill(mhz);
  return values;
}

// The pixel of user point (x, y) on a figure of the run.
Rgb figure_pixel(const testing::Picture& picture, int x, double y) {
  return picture.at(x + 35, static_cast<int>((215 - y) * 231 / 261 + 0.5));
}

TEST(Run, DrawsEachDayFromItsOwnMonthAndWritesTwelvePicturesQuietly) {
  testing::TempFolder work;
  prepare_work(work);
  work.write("fc/122024.txt", testing::forecast_file(flat_forecast(6.0)));
  work.write("fc/012025.txt", testing::forecast_file(flat_forecast(12.0)));
  work.write("obs/RM041_2024366121500.TXT", testing::measurement_file("Rome", " 8.0"));
  work.write("obs/RM041_2025003121500.TXT", testing::measurement_file("Rome", "16.0"));

  const RunResult result = run_in(work, 2025y / January / 3d);
  EXPECT_EQ(result.status, ExitStatus::success);
  EXPECT_EQ(result.messages, "");
  EXPECT_EQ(
      visible(work.list("www")),
      (std::vector<std::string>{"plotfoF2.json", "plotfoF21.gif", "plotfoF22.gif", "plotfoF23.gif",
                                "plotfoF24.gif", "plotfoF25.gif", "plotfoF26.gif"}));
  EXPECT_EQ(pictures_and_index(work.list("fc/previous_foF2_plots")),
            (std::vector<std::string>{"2024.json", "2024364.gif", "2024365.gif", "2024366.gif",
                                      "2025.json", "2025001.gif", "2025002.gif", "2025003.gif",
                                      "index.json"}));

  // Slot 3 is 31 December 2024: December's forecast and that day's measurement.
  const auto december = testing::Picture::load(work / "www/plotfoF23.gif");
  EXPECT_EQ(testing::Picture::load(work / "fc/previous_foF2_plots/2024366.gif"), december);
  EXPECT_EQ(figure_pixel(december, 60, 60), colours::forecast);
  EXPECT_EQ(figure_pixel(december, 60, 120), colours::background);
  EXPECT_EQ(figure_pixel(december, 122, 80), colours::measured);
  // Slot 6 is 3 January 2025: January's forecast and its own measurement.
  const auto january = testing::Picture::load(work / "www/plotfoF26.gif");
  EXPECT_EQ(testing::Picture::load(work / "fc/previous_foF2_plots/2025003.gif"), january);
  EXPECT_EQ(figure_pixel(january, 60, 120), colours::forecast);
  EXPECT_EQ(figure_pixel(january, 122, 160), colours::measured);
  EXPECT_EQ(figure_pixel(january, 122, 80), colours::background);
}

TEST(Run, NextDayOverwritesTheCurrentPicturesAndAddsOneArchivePicture) {
  testing::TempFolder work;
  prepare_work(work);
  work.write("fc/122026.txt", testing::forecast_file(flat_forecast(6.0)));
  work.write("obs/RM041_2026342121500.TXT", testing::measurement_file("Rome", " 8.0"));
  ASSERT_EQ(run_in(work, 2026y / December / 8d).status, ExitStatus::success);
  const auto today_before = testing::Picture::load(work / "www/plotfoF26.gif");
  ASSERT_EQ(run_in(work, 2026y / December / 9d).status, ExitStatus::success);
  // Seven pictures, the year's index file and index.json.
  EXPECT_EQ(pictures_and_index(work.list("fc/previous_foF2_plots")).size(), 9u);
  EXPECT_EQ(testing::Picture::load(work / "www/plotfoF25.gif"), today_before);
  EXPECT_EQ(testing::Picture::load(work / "fc/previous_foF2_plots/2026343.gif"),
            testing::Picture::load(work / "www/plotfoF26.gif"));
}

TEST(Run, WithoutSettingsEverythingIsInTheWorkingFolderAndTheRunFails) {
  testing::TempFolder work;
  const RunResult result = run_in(work, 2024y / March / 7d);
  EXPECT_EQ(result.status, ExitStatus::failure);
  // Six passes were made: the current pictures are written, the archive folder is missing.
  // Each cause is reported once, and the program's own files are never taken for measurements.
  EXPECT_EQ(
      visible(work.list()),
      (std::vector<std::string>{"plotfoF2.json", "plotfoF21.gif", "plotfoF22.gif", "plotfoF23.gif",
                                "plotfoF24.gif", "plotfoF25.gif", "plotfoF26.gif"}));
  const std::string& folder = work.path();
  EXPECT_EQ(result.messages,
            "norvane_foF2: cannot read settings file \"" + folder +
                "norvane_foF2.ini\": No such file or directory; all folders are taken as the "
                "working folder\n"
                "norvane_foF2: measurement folder \"" +
                folder +
                "\" holds no measurement file (archive pictures kept, or written where missing; "
                "days with a record drawn from it)\n"
                "norvane_foF2: cannot read forecast file \"" +
                folder +
                "032024.txt\": No such file or directory (no forecast curve drawn)\n"
                "norvane_foF2: cannot write archive pictures in folder \"" +
                folder + "previous_foF2_plots/\": No such file or directory\n");
}

TEST(Run, AMissingPictureFolderIsReportedOnceAndCostsOnlyTheCurrentPictures) {
  testing::TempFolder work;
  prepare_work(work);
  std::filesystem::remove(work / "www");
  work.write("fc/032024.txt", testing::forecast_file(flat_forecast(6.0)));
  work.write("obs/RM041_2024067121500.TXT", testing::measurement_file("Rome", " 8.0"));
  const RunResult result = run_in(work, 2024y / March / 7d);
  EXPECT_EQ(result.status, ExitStatus::failure);
  EXPECT_EQ(result.messages, "norvane_foF2: picture folder \"" + work.path() +
                                 "www/\" of settings file \"" + work.path() +
                                 "norvane_foF2.ini\" line 6 \"www\\\\\" is missing (no current "
                                 "pictures written)\n");
  // Every day's archive picture is written all the same.
  EXPECT_EQ(pictures_and_index(work.list("fc/previous_foF2_plots")),
            (std::vector<std::string>{"2024.json", "2024062.gif", "2024063.gif", "2024064.gif",
                                      "2024065.gif", "2024066.gif", "2024067.gif", "index.json"}));
}

TEST(RunSession, SummarisesWhatEachDayWasDrawnFromAndWhatBecameOfItsPictures) {
  testing::TempFolder work;
  prepare_work(work);
  std::array<double, 24> forecast = flat_forecast(6.0);
  forecast[13] = 8.1;
  work.write("fc/122026.txt", testing::forecast_file(forecast));
  work.write("obs/RM041_2026344130000.TXT", testing::measurement_file("Rome station", " 7.0"));
  work.write("obs/RM041_2026344131500.TXT", testing::measurement_file("Rome station", "N/A "));
  work.write("obs/RM041_2026344124500.TXT", testing::measurement_file("Rome station", " 7.3"));
  std::ostringstream messages;
  RunSession session(testing::into(messages), [] { return sys_days{2026y / December / 10d} + 9h; });
  ASSERT_TRUE(session.prepare(work.path(), seconds(1)));
  session.use_days(2026y / December / 10d, 2026y / December / 10d);
  for (int day = 1; day <= 6; ++day) session.draw_day(day);
  session.index_archive();
  session.finish();

  const RunSummary& summary = session.summary();
  EXPECT_EQ(summary.archive, (ArchiveRange{2026y / December / 5d, 2026y / December / 10d}));
  EXPECT_EQ(summary.station, "Rome");  // the first line of the first file
  EXPECT_EQ(summary.station_folder, std::filesystem::path(work.path()).parent_path().filename());
  EXPECT_EQ(summary.finished, sys_days{2026y / December / 10d} + 9h);
  EXPECT_TRUE(summary.success);
  ASSERT_EQ(summary.days.size(), 6u);
  const DaySummary& today = summary.days[5];
  EXPECT_EQ(today.date, 2026y / December / 10d);
  EXPECT_EQ(today.date_label, "10/12/2026");
  EXPECT_EQ(today.archive_name, "2026344.gif");
  EXPECT_EQ(today.current_name, "plotfoF26.gif");
  // 13:00 is drawn after 13:15 but is older: the newest is 13:15, which has no value.
  EXPECT_EQ(today.figures.with_value, 2);
  EXPECT_EQ(today.figures.without_value, 1);
  ASSERT_TRUE(today.figures.newest.has_value());
  EXPECT_EQ(today.figures.newest->minute, 13 * 60 + 15);
  EXPECT_EQ(today.figures.newest->value_mhz, std::nullopt);
  EXPECT_EQ(today.figures.newest->forecast_mhz, 8.1);
  EXPECT_EQ(today.extremes.lowest, (MeasuredValue{13 * 60, 7.0}));
  EXPECT_EQ(today.extremes.highest, (MeasuredValue{12 * 60 + 45, 7.3}));
  EXPECT_TRUE(today.figures.mean_deviation_percent.has_value());
  EXPECT_EQ(today.current, PictureOutcome::written);
  EXPECT_EQ(today.archive, PictureOutcome::written);
  EXPECT_EQ(summary.days[0].figures.with_value, 0);
  EXPECT_EQ(summary.pictures_written, 12);
  EXPECT_EQ(summary.archive_pictures_kept, 0);
  EXPECT_EQ(summary.newest_measurement, sys_days{2026y / December / 10d} + 13h + 15min);
}

TEST(RunSession, ADayThatFailsInAnUnforeseenWayIsSummarisedAsFailed) {
  // The first message (the missing forecast of the first day) cannot be printed: the day fails
  // as by anything unforeseen, before its pictures are written.
  testing::TempFolder work;
  prepare_work(work);
  std::ostringstream messages;
  bool thrown = false;
  RunSession session(
      [&](std::string_view line) {
        if (!std::exchange(thrown, true)) throw std::runtime_error("no room for the message");
        messages << line;
      },
      [] { return sys_days{2026y / December / 10d}; });
  ASSERT_TRUE(session.prepare(work.path(), seconds(1)));
  session.use_days(2026y / December / 10d, 2026y / December / 10d);
  for (int day = 1; day <= 6; ++day) session.draw_day(day);
  session.finish();
  EXPECT_EQ(messages.str(),
            "norvane_foF2: figure of 05/12/2026 not exported: no room for the message\n");
  const DaySummary& failed = session.summary().days[0];
  EXPECT_EQ(failed.current, PictureOutcome::failed);
  EXPECT_EQ(failed.archive, PictureOutcome::failed);
  EXPECT_EQ(session.summary().days[1].archive, PictureOutcome::written);
  EXPECT_FALSE(work.exists("fc/previous_foF2_plots/2026339.gif"));
  EXPECT_FALSE(session.summary().success);
}

}  // namespace
}  // namespace norvane
