// SPDX-License-Identifier: MIT
#include "state/day.h"

#include <cstdio>

#include "util/iso_date.h"

namespace norvane {

using namespace std::chrono;

Day Day::of(year_month_day date) {
  Day day;
  day.date = date;
  day.day_of_year =
      static_cast<int>((sys_days{date} - sys_days{date.year() / January / 1}).count()) + 1;
  char text[32];
  std::snprintf(text, sizeof text, "%03d", day.day_of_year);
  day.doy_code = text;
  const int year = static_cast<int>(date.year());
  std::snprintf(text, sizeof text, "%02u%04d", static_cast<unsigned>(date.month()), year);
  day.month_key = text;
  std::snprintf(text, sizeof text, "%02u/%02u/%04d", static_cast<unsigned>(date.day()),
                static_cast<unsigned>(date.month()), year);
  day.label = text;
  return day;
}

std::optional<Day> Day::of_year_and_day(int year, int day_of_year) {
  const std::chrono::year calendar_year{year};
  if (year < 0 || year > 9999 || day_of_year < 1 ||
      day_of_year > (calendar_year.is_leap() ? 366 : 365)) {
    return std::nullopt;
  }
  return of(year_month_day{sys_days{calendar_year / January / 1} + days{day_of_year - 1}});
}

std::string Day::iso() const { return iso_date(date); }

std::string Day::year_and_day() const { return year_digits(4) + doy_code; }

std::string Day::year_digits(int digits) const {
  char text[16];
  if (digits == 2) {
    std::snprintf(text, sizeof text, "%02d", year() % 100);
  } else {
    std::snprintf(text, sizeof text, "%04d", year());
  }
  return text;
}

std::string Day::month_label() const {
  char text[16];
  std::snprintf(text, sizeof text, "%02u/%04d", static_cast<unsigned>(date.month()), year());
  return text;
}

Day Day::plus(int days) const {
  return of(year_month_day{sys_days{date} + std::chrono::days{days}});
}

}  // namespace norvane
