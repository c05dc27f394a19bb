// SPDX-License-Identifier: MIT
#include "support/station_work.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "driver/day_table.h"
#include "support/station_files.h"

namespace norvane::testing {

std::chrono::year_month_day local_today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return std::chrono::year{local.tm_year + 1900} /
         std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
         std::chrono::day{static_cast<unsigned>(local.tm_mday)};
}

std::string measurement_name(const PlotState& days, int slot, int hour, int minute) {
  char name[64];
  std::snprintf(name, sizeof name, "obs/RM041_%s%s%02d%02d00.TXT",
                days.forecast_names[slot].substr(2).c_str(), days.doy_codes[slot].c_str(), hour,
                minute);
  return name;
}

void prepare_station_work(const TempFolder& work, const PlotState& days) {
  work.write("norvane_foF2.ini",
             "forecasts\r\nfc\\\r\nmeasurements\r\nobs\\\r\npictures\r\nwww\\\r\n");
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("www");
  for (int slot = 1; slot <= 6; ++slot) {
    const std::string& month_year = days.forecast_names[slot];
    std::array<double, 24> forecast{};
    forecast.fill(5.5 + std::stoi(month_year.substr(0, 2)) / 10.0);
    work.write("fc/" + month_year + ".txt", forecast_file(forecast));
    for (int hour = 0; hour < 24; ++hour) {
      work.write(measurement_name(days, slot, hour, 30),
                 measurement_file("Rome", value_field(2 + slot + hour / 4.0)));
    }
  }
}

std::pair<ProgramResult, PlotState> run_today(const TempFolder& work,
                                              const ProgramOptions& options) {
  for (;;) {
    const auto before = local_today();
    auto result = run_program(work.path(), options);
    if (local_today() != before) continue;  // the run crossed midnight: run again
    PlotState days;
    build_day_table(days, before);
    return {result, days};
  }
}

Rgb figure_pixel(const Picture& picture, int x, double y) {
  return picture.at(x + 35, static_cast<int>((215 - y) * 231 / 261 + 0.5));
}

}  // namespace norvane::testing
