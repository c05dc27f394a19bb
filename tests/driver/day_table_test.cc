// SPDX-License-Identifier: MIT
#include "driver/day_table.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace norvane {
namespace {

using namespace std::chrono;

struct Entry {
  std::string doy_code, forecast_name, date_label;
};

std::array<Entry, 6> day_table_for(year_month_day today) {
  PlotState state;
  build_day_table(state, today);
  std::array<Entry, 6> entries;
  for (int i = 1; i <= 6; ++i) {
    entries[i - 1] = {state.doy_codes[i], state.forecast_names[i], state.date_labels[i]};
  }
  return entries;
}

void expect_table(year_month_day today, const std::array<Entry, 6>& expected) {
  const auto entries = day_table_for(today);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(entries[i].doy_code, expected[i].doy_code) << "entry " << i + 1;
    EXPECT_EQ(entries[i].forecast_name, expected[i].forecast_name) << "entry " << i + 1;
    EXPECT_EQ(entries[i].date_label, expected[i].date_label) << "entry " << i + 1;
  }
}

TEST(DayTable, SixDaysEndingToday) {
  expect_table(2024y / March / 7d, {{{"062", "032024", "02/03/2024"},
                                     {"063", "032024", "03/03/2024"},
                                     {"064", "032024", "04/03/2024"},
                                     {"065", "032024", "05/03/2024"},
                                     {"066", "032024", "06/03/2024"},
                                     {"067", "032024", "07/03/2024"}}});
}

TEST(DayTable, EarlyJanuaryRunDrawsDaysOfDecemberOfTheYearBefore) {
  expect_table(2025y / January / 3d, {{{"364", "122024", "29/12/2024"},
                                       {"365", "122024", "30/12/2024"},
                                       {"366", "122024", "31/12/2024"},
                                       {"001", "012025", "01/01/2025"},
                                       {"002", "012025", "02/01/2025"},
                                       {"003", "012025", "03/01/2025"}}});
  // In a common year the last day of December is day 365.
  EXPECT_EQ(day_table_for(2026y / January / 1d)[4].doy_code, "365");
}

TEST(DayTable, LastDayOfALeapYearAndAMonthBoundary) {
  const auto entries = day_table_for(2024y / December / 31d);
  EXPECT_EQ(entries[5].doy_code, "366");
  EXPECT_EQ(entries[5].date_label, "31/12/2024");
  const auto across_months = day_table_for(2024y / March / 2d);
  EXPECT_EQ(across_months[0].date_label, "26/02/2024");
  EXPECT_EQ(across_months[0].forecast_name, "022024");
  EXPECT_EQ(across_months[3].date_label, "29/02/2024");
  EXPECT_EQ(across_months[3].doy_code, "060");
  EXPECT_EQ(across_months[5].forecast_name, "032024");
}

TEST(MinuteLabels, MinuteZeroIsTheLastOfTheHour) {
  PlotState state;
  fill_minute_labels(state);
  EXPECT_EQ(state.minute_labels[1], "01");
  EXPECT_EQ(state.minute_labels[9], "09");
  EXPECT_EQ(state.minute_labels[59], "59");
  EXPECT_EQ(state.minute_labels[60], "00");
  EXPECT_THROW(state.minute_labels[0], std::out_of_range);
}

}  // namespace
}  // namespace norvane
