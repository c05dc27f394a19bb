// The built program, run as the scheduler runs it, in a temporary working folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "driver/day_table.h"
#include "support/gif_picture.h"
#include "support/program.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

std::chrono::year_month_day local_today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return std::chrono::year{local.tm_year + 1900} /
         std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
         std::chrono::day{static_cast<unsigned>(local.tm_mday)};
}

// Runs the program in `work` on a date that does not change during the run.
std::pair<testing::ProgramResult, PlotState> run_today(const testing::TempFolder& work) {
  for (;;) {
    const auto before = local_today();
    auto result = testing::run_program(work.path());
    if (local_today() != before)
      continue;  // the run crossed midnight: run again
    PlotState days;
    build_day_table(days, before);
    return {result, days};
  }
}

TEST(Program, OneQuietRunWritesTwelveDecodablePictures) {
  testing::TempFolder work;
  work.write("norvane_foF2.ini",
             "forecasts\r\nfc\\\r\nmeasurements\r\nobs\\\r\npictures\r\nwww\\\r\n");
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("obs");
  work.make_folder("www");

  const auto [result, days] = run_today(work);
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
    // The frame's corners, and the date line's glyphs in the band above the plot area.
    EXPECT_EQ(current.at(35, 190), colours::border);
    EXPECT_EQ(current.at(276, 21), colours::border);
    int date_pixels = 0;
    for (int row = 4; row < 17; ++row) {
      for (int column = 110; column < 110 + 16 * 7; ++column) {
        date_pixels += current.at(column, row) == colours::text;
      }
    }
    EXPECT_GT(date_pixels, 100) << "slot " << slot;
  }
  // Nothing else is left behind: no BMP, no temporary file.
  EXPECT_EQ(work.list("fc").size(), 7u);
  EXPECT_EQ(work.list("www").size(), 6u);
}

TEST(Program, ReportsWhatWentWrongAndFails) {
  testing::TempFolder work;
  const auto [result, days] = run_today(work);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error,
            "norvane_foF2: cannot read settings file \"" + work.path() +
                "norvane_foF2.ini\": No such file or directory; all folders are taken as the "
                "working folder\n"
                "norvane_foF2: cannot write archive pictures in folder \"" +
                work.path() + "previous_foF2_plots/\": No such file or directory\n");
  EXPECT_TRUE(work.exists("plotfoF26.gif"));
}

}  // namespace
}  // namespace norvane
