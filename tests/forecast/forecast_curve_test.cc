// SPDX-License-Identifier: MIT
#include "forecast/forecast_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "forecast/forecast_file.h"
#include "support/gif_picture.h"
#include "support/messages.h"
#include "support/station_files.h"
#include "support/temp_folder.h"
#include "surface/sizing.h"

namespace norvane {
namespace {

TEST(ForecastField, ReadsWholeMhzAndTenthsAsTenths) {
  EXPECT_EQ(forecast_field_value(" 12.4", 1), 124);
  EXPECT_EQ(forecast_field_value("  5.3", 1), 53);
  EXPECT_EQ(forecast_field_value("  0.8", 1), 8);
  EXPECT_EQ(forecast_field_value("  0.0", 1), 0);  // a written zero is a value
  EXPECT_EQ(forecast_field_value("xxxxx 12.4", 2), 124);
  EXPECT_EQ(forecast_field_value(" 12. ", 1), 12);  // blank tenths: the whole MHz read as tenths
  EXPECT_EQ(forecast_field_value(" 12", 1), 12);    // cut off before the tenths column
  EXPECT_EQ(forecast_field_value("  -.5", 1), -5);
}

TEST(ForecastField, AFieldWithoutANumberHasNoValue) {
  EXPECT_EQ(forecast_field_value("     ", 1), std::nullopt);
  EXPECT_EQ(forecast_field_value(" ab.c", 1), std::nullopt);
  EXPECT_EQ(forecast_field_value(" 12.4", 2), std::nullopt);  // beyond the end of the line
  EXPECT_EQ(forecast_field_value(" 9E.9", 1), std::nullopt);  // 9E9: beyond the 16-bit range
  const ForecastValues values = read_forecast_values(" 12.4  5.3");
  EXPECT_EQ(values[0], 124);
  EXPECT_EQ(values[1], 53);
  EXPECT_EQ(values[2], std::nullopt);
  EXPECT_EQ(values[23], std::nullopt);
}

class ForecastCurve : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.forecast_dir = work_ / "fc/";
    impostazioni_dimensioni_e_scala_del_form(state_, surface_);
  }

  void draw(const std::string& file_previsioni = "122026") {
    grafico_previsione(state_, surface_, diagnostics_, file_previsioni);
    EXPECT_FALSE(diagnostics_.failed());  // a missing forecast costs no picture
  }

  int white_pixels() const { return testing::Picture::of(surface_).count(colours::forecast); }

  testing::TempFolder work_;
  PlotState state_;
  DrawingSurface surface_;
  std::ostringstream messages_;
  Diagnostics diagnostics_{testing::into(messages_)};
};

TEST_F(ForecastCurve, DrawsADotPerHourJoinedByLines) {
  std::array<double, 24> mhz{};
  for (int hour = 0; hour < 24; ++hour) mhz[hour] = 3 + (hour / 4) * 0.5;
  work_.write("fc/122026.txt", testing::forecast_file(mhz));
  draw();
  EXPECT_EQ(messages_.str(), "");
  for (int hour = 0; hour < 24; ++hour) {
    EXPECT_EQ(testing::colour_at(surface_, 10 * hour, mhz[hour] * 10), colours::forecast) << hour;
  }
  // Lines join neighbouring hours; nothing is drawn beyond 23 UT.
  EXPECT_EQ(testing::colour_at(surface_, 5, 30), colours::forecast);
  EXPECT_EQ(testing::colour_at(surface_, 225, 55), colours::forecast);
  EXPECT_EQ(testing::colour_at(surface_, 236, 55), colours::background);
}

TEST_F(ForecastCurve, AnHourWithoutValueLeavesAGap) {
  std::string line = testing::forecast_values_line(
      {6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 0});
  line.replace(5 * 10, 5, "  x.x");  // hour 10 UT holds no number
  work_.write("fc/122026.txt", "heading\n" + line + "\n");
  draw();
  EXPECT_EQ(testing::colour_at(surface_, 90, 60), colours::forecast);
  EXPECT_EQ(testing::colour_at(surface_, 95, 60), colours::background);
  EXPECT_EQ(testing::colour_at(surface_, 100, 60), colours::background);
  EXPECT_EQ(testing::colour_at(surface_, 105, 60), colours::background);
  EXPECT_EQ(testing::colour_at(surface_, 110, 60), colours::forecast);
  // A written 0.0 is a value: its dot sits on the time axis.
  EXPECT_EQ(testing::colour_at(surface_, 230, 0), colours::forecast);
}

TEST_F(ForecastCurve, ItsValueAtATimeIsWhereItIsDrawn) {
  ForecastValues values{};
  for (int hour = 0; hour < 24; ++hour) values[hour] = static_cast<std::int16_t>(40 + 4 * hour);
  values[10].reset();  // a gap: no dot at 10 UT, no line to it or from it
  draw_forecast_curve(surface_, values);
  EXPECT_EQ(forecast_curve_value(values, 0), 40);
  EXPECT_EQ(forecast_curve_value(values, 9 * 60), 76);
  EXPECT_EQ(forecast_curve_value(values, 9 * 60 + 30), std::nullopt);
  EXPECT_EQ(forecast_curve_value(values, 10 * 60), std::nullopt);
  EXPECT_EQ(forecast_curve_value(values, 11 * 60), 84);
  EXPECT_EQ(forecast_curve_value(values, 23 * 60), 132);
  EXPECT_EQ(forecast_curve_value(values, 23 * 60 + 1), std::nullopt);
  // Half-way between two dots, clear of both, the curve passes within a pixel of the value
  // exactly where the curve has a value there.
  for (int minute = 30; minute < 24 * 60; minute += 60) {
    const auto value = forecast_curve_value(values, minute);
    const double x = minute / 6.0;
    const double y = value.value_or(40 + 4 * minute / 60.0);
    const int row = static_cast<int>(std::lround(surface_.row_at(y)));
    const int column = static_cast<int>(std::lround(surface_.column_at(x)));
    bool white = false;
    for (int near = row - 1; near <= row + 1; ++near) {
      white = white || surface_.pixel(column, near) == colours::forecast;
    }
    EXPECT_EQ(white, value.has_value()) << minute;
    if (value) {
      EXPECT_DOUBLE_EQ(*value, 40 + 4 * (minute / 60.0));
    }
  }
}

TEST_F(ForecastCurve, AOneLineFileIsReadFromThatLine) {
  std::array<double, 24> mhz{};
  mhz.fill(7.5);
  work_.write("fc/122026.txt", testing::forecast_values_line(mhz));
  draw();
  EXPECT_EQ(testing::colour_at(surface_, 120, 75), colours::forecast);
  EXPECT_EQ(messages_.str(), "");
}

TEST_F(ForecastCurve, NoCurveFromAnEmptyOrMissingFileAndEachCauseIsReportedOnce) {
  work_.write("fc/122026.txt", "");
  draw();
  draw();
  draw("012027");
  draw("012027");
  EXPECT_EQ(white_pixels(), 0);
  EXPECT_EQ(messages_.str(), "norvane_foF2: forecast file \"" + work_.path() +
                                 "fc/122026.txt\" holds no forecast value (no forecast curve "
                                 "drawn)\n"
                                 "norvane_foF2: cannot read forecast file \"" +
                                 work_.path() +
                                 "fc/012027.txt\": No such file or directory (no forecast curve "
                                 "drawn)\n");
}

}  // namespace
}  // namespace norvane
