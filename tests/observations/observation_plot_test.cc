// SPDX-License-Identifier: MIT
#include "observations/observation_plot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>

#include "driver/day_table.h"
#include "observations/day_reading.h"
#include "support/gif_picture.h"
#include "support/messages.h"
#include "support/station_files.h"
#include "support/temp_folder.h"
#include "surface/sizing.h"

namespace norvane {
namespace {

using namespace std::chrono;

TEST(MinuteOffset, SixMinutesAUnitWithHalvesRoundedDown) {
  // First minute of each band of offsets 0 to 10; the first band has four minutes, the last two.
  const int band_starts[] = {0, 4, 10, 16, 22, 28, 34, 40, 46, 52, 58, 60};
  for (int offset = 0; offset <= 10; ++offset) {
    for (int minute = band_starts[offset]; minute < band_starts[offset + 1]; ++minute) {
      EXPECT_EQ(minute_offset(minute), offset) << "minute " << minute;
    }
  }
}

TEST(ParseObservedValue, JoinsWholeMhzAndTenths) {
  EXPECT_EQ(parse_observed_value("12.3"), 123.0);
  EXPECT_EQ(parse_observed_value(" 5.4"), 54.0);
  EXPECT_EQ(parse_observed_value(" 0.0"), 0.0);
  EXPECT_EQ(parse_observed_value("5.4 "), 5.0);   // left-aligned: the 4 is in column 3
  EXPECT_EQ(parse_observed_value(" 5,4"), 54.0);  // column 3 is skipped whatever it holds
  EXPECT_EQ(parse_observed_value("    "), std::nullopt);
  EXPECT_EQ(parse_observed_value(""), std::nullopt);
  EXPECT_EQ(parse_observed_value("n/a "), std::nullopt);
}

// The measurements of one day drawn from real files in a measurement folder.
class ObservationPlot : public ::testing::Test {
 protected:
  void SetUp() override { use_day(2026y / December / 9d, 6); }

  void use_day(year_month_day today, int day_index) {
    fill_minute_labels(state_);
    build_day_table(state_, today);
    state_.day_index = static_cast<std::int16_t>(day_index);
    state_.observation_dir = work_ / "obs/";
    impostazioni_dimensioni_e_scala_del_form(state_, surface_);
  }

  // Writes the file of hh:mm of the day in the style of station kind 2 (Tucuman).
  void measure(int hour, int minute, const std::string& field) {
    write_file(hour, minute, testing::measurement_file("Tucuman", field));
  }
  void measure(int hour, int minute, double mhz) {
    measure(hour, minute, testing::value_field(mhz));
  }
  void write_file(int hour, int minute, const std::string& content) {
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d", hour, minute);
    work_.write("obs/TUJ2O_" + state_.days[state_.day_index].year_and_day() + time + ".TXT",
                content);
  }

  // The day's reading, drawn.
  void draw() {
    const DaySight sight = look_at_day(state_, listing_, diagnostics_);
    grafico_valori_autoscalati(surface_, sight.reading.measurements);
  }

  // Red pixels strictly between the heights of two dots at y_low and y_high, clear of both dots,
  // in the columns from x_from to x_to: a line joins the dots exactly when there are some.
  int red_between(double x_from, double x_to, double y_low, double y_high) const {
    return testing::count_between(surface_, colours::measured, x_from, x_to, y_low + 8, y_high - 8);
  }
  Rgb at(double x, double y) const { return testing::colour_at(surface_, x, y); }

  testing::TempFolder work_;
  PlotState state_;
  DrawingSurface surface_;
  std::ostringstream messages_;
  Diagnostics diagnostics_{testing::into(messages_)};
  MeasurementListing listing_;
};

TEST_F(ObservationPlot, QuarterHourValuesAreJoinedWithinTheHourOnly) {
  measure(9, 45, 16.0);
  measure(10, 0, 10.0);
  measure(10, 15, 4.0);
  measure(10, 30, 14.0);
  measure(10, 45, 4.0);
  draw();
  EXPECT_EQ(messages_.str(), "");
  // Dots at 10 h + 0, 2, 5 and 7 units.
  EXPECT_EQ(at(97, 160), colours::measured);
  EXPECT_EQ(at(100, 100), colours::measured);
  EXPECT_EQ(at(102, 40), colours::measured);
  EXPECT_EQ(at(105, 140), colours::measured);
  EXPECT_EQ(at(107, 40), colours::measured);
  EXPECT_GT(red_between(102, 105, 40, 140), 0);  // :15 to :30, 3 units
  EXPECT_GT(red_between(105, 107, 40, 140), 0);  // :30 to :45, 2 units
  // 10:00 comes after 10:45 in the slot order, so it is not joined to 09:45, 3 units before it.
  EXPECT_EQ(red_between(97, 100, 100, 160), 0);
}

TEST_F(ObservationPlot, FiveMinuteValuesAreNeverJoined) {
  for (int minute = 0; minute < 60; minute += 5) measure(10, minute, minute % 10 ? 4.0 : 14.0);
  draw();
  EXPECT_EQ(red_between(100, 110, 40, 140), 0);
  EXPECT_EQ(at(109, 40), colours::measured);  // 10:55
}

TEST_F(ObservationPlot, AnHourZeroFileIsJoinedOnlyWhenNothingOfItsHourCameBefore) {
  measure(9, 50, 4.0);   // x = 98
  measure(10, 0, 14.0);  // x = 100, tried right after 09:50
  measure(13, 50, 4.0);  // x = 138
  measure(14, 0, 14.0);  // x = 140, tried after 14:15
  measure(14, 15, 4.0);  // x = 142
  draw();
  EXPECT_GT(red_between(98, 100, 40, 140), 0);
  EXPECT_EQ(red_between(138, 140, 40, 140), 0);
}

TEST_F(ObservationPlot, MeasurementsWithoutValueAreGreenTicksThatLeaveTheTrace) {
  measure(10, 15, 4.0);
  measure(10, 30, "N/A ");
  measure(10, 45, 14.0);  // 5 units after 10:15: not joined
  measure(11, 15, "    ");
  measure(11, 30, "n/a ");
  measure(11, 45, "ab.c");
  write_file(12, 15, "Tucuman\r\nline 2\r\nshort\r\n");  // no field at all
  measure(13, 15, 0.0);                                  // a written zero is a value
  write_file(14, 15, "Tucuman\r\nonly two lines\r\n");   // draws nothing
  measure(15, 15, 9.0);                                  // x = 152
  measure(15, 30, "1E.9");  // 10^9 tenths: beyond any value, a tick at x = 155
  measure(15, 45, 14.0);    // x = 157, 5 units after the last value: not joined
  draw();
  for (const double x : {105.0, 112.0, 115.0, 117.0, 122.0, 155.0}) {
    EXPECT_EQ(at(x, 4), colours::no_value) << "tick at x = " << x;
    EXPECT_EQ(at(x, 12), colours::background) << "tick at x = " << x;
  }
  EXPECT_EQ(red_between(102, 107, 40, 140), 0);
  EXPECT_EQ(red_between(152, 157, 90, 140), 0);
  EXPECT_EQ(at(132, 0), colours::measured);
  EXPECT_EQ(at(142, 4), colours::background);
  EXPECT_EQ(at(142, 0), colours::background);
}

TEST_F(ObservationPlot, TheLastMinutesOfTheDayLandOnItsRightEdge) {
  measure(23, 58, 10.0);
  measure(0, 0, 12.0);
  measure(0, 3, 8.0);
  draw();
  EXPECT_EQ(at(240, 100), colours::measured);
  EXPECT_EQ(at(0, 120), colours::measured);
  EXPECT_EQ(at(0, 80), colours::measured);
}

TEST_F(ObservationPlot, OnlyFilesOfTheExactNameAreRead) {
  measure(10, 15, 10.0);
  // The same name in lower case is another file on this file system.
  work_.write(
      "obs/tuj2o_2026343"
      "1030.txt",
      testing::measurement_file("Tucuman", " 9.0"));
  draw();
  EXPECT_EQ(at(102, 100), colours::measured);
  EXPECT_EQ(at(105, 90), colours::background);
}

TEST_F(ObservationPlot, AFifoUnderAMeasurementFilesNameIsNoFile) {
  measure(10, 15, 10.0);
  ASSERT_EQ(::mkfifo((work_ / "obs/TUJ2O_20263431030.TXT").c_str(), 0600), 0);
  draw();
  EXPECT_EQ(at(102, 100), colours::measured);
  EXPECT_EQ(state_.day_measurements, PlotState::DayMeasurements::drawn);
  listing_.report_unreadable(diagnostics_);
  EXPECT_EQ(messages_.str(), "");
}

TEST_F(ObservationPlot, ADecemberDayDrawnInJanuaryUsesItsOwnYear) {
  use_day(2027y / January / 3d, 3);  // 31 December 2026, day 365
  work_.write("obs/26365X45.TXT", testing::measurement_file("Gibilmanna", "10.0"));
  work_.write("obs/27365X30.TXT", testing::measurement_file("Gibilmanna", " 8.0"));
  draw();
  EXPECT_EQ(at(237, 100), colours::measured);
  EXPECT_EQ(at(235, 80), colours::background);
}

}  // namespace
}  // namespace norvane
