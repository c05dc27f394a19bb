// SPDX-License-Identifier: MIT
// A calendar day goes by several names in this system: its forecast file is named after its
// month and year ("122026"), its measurement files and archive files after its year and day of
// the year ("2026339"), its figure prints it dd/mm/yyyy, and the files that pages and scripts
// read write it YYYY-MM-DD. Each form is made here, from the date, and nowhere else, so that no
// part of the program cuts a date back out of another form of it.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace norvane {

struct Day {
  std::chrono::year_month_day date{};
  int day_of_year = 0;    // 1 to 366
  std::string doy_code;   // the day of the year in three digits: "339"
  std::string month_key;  // month and year, which name the forecast file: "122026"
  std::string label;      // as the figure's date line prints it: "05/12/2026"

  // The day of `date`, which must be a valid date of the years 0 to 9999.
  static Day of(std::chrono::year_month_day date);
  // The day `day_of_year` (1 to 365, or 366 in a leap year) of `year` (0 to 9999), if there is
  // one.
  static std::optional<Day> of_year_and_day(int year, int day_of_year);

  int year() const { return static_cast<int>(date.year()); }
  // "2026-12-05".
  std::string iso() const;
  // The year in four digits and the day of the year: "2026339", which names the archive files.
  std::string year_and_day() const;
  // The year in `digits` digits (2 or 4), as the stations' file names carry it: "26", "2026".
  std::string year_digits(int digits) const;
  // "12/2026", the month as the messages about its forecast name it.
  std::string month_label() const;
  // The day `days` days later (earlier when negative).
  Day plus(int days) const;

  bool operator==(const Day& other) const { return date == other.date; }
  auto operator<=>(const Day& other) const { return date <=> other.date; }
};

}  // namespace norvane
