// The built program, run as the scheduler runs it, in a temporary working folder.
#include "support/program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "driver/day_table.h"
#include "support/gif_picture.h"
#include "support/station_files.h"
#include "support/station_work.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

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
  // Nothing else is left behind: no BMP, no temporary file.
  EXPECT_EQ(work.list("www").size(), 6u);
  EXPECT_EQ(work.list("fc/previous_foF2_plots").size(), 6u);
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
    if (slot < 6) {
      EXPECT_EQ(after.st_ino, before[slot].st_ino) << "slot " << slot << " was rewritten";
    } else {
      EXPECT_NE(after.st_ino, before[slot].st_ino) << "today's picture was not rewritten";
      EXPECT_EQ(figure_pixel(testing::Picture::load(picture), 107, 150), colours::measured);
    }
  }
  EXPECT_EQ(work.list("www").size(), 6u);
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
  EXPECT_EQ(work.list("www").size(), 6u);
}

}  // namespace
}  // namespace norvane
