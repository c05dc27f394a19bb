// SPDX-License-Identifier: MIT
#include "util/iso_date.h"

#include <cstdio>

namespace norvane {

using namespace std::chrono;

std::string iso_date(year_month_day date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

namespace {

// The number written in `count` decimal digits from `first` in `text`, when they are digits.
std::optional<int> digits_at(std::string_view text, std::size_t first, std::size_t count) {
  int value = 0;
  for (std::size_t i = first; i < first + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<year_month_day> read_date(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto y = digits_at(text, 0, 4);
  const auto m = digits_at(text, 5, 2);
  const auto d = digits_at(text, 8, 2);
  if (!y || !m || !d) return std::nullopt;
  const year_month_day date{year{*y}, month{static_cast<unsigned>(*m)},
                            day{static_cast<unsigned>(*d)}};
  if (!date.ok()) return std::nullopt;
  return date;
}

std::string time_of_day_text(int minute_of_day) {
  // Written digit by digit: a day's record writes it for every measurement.
  const int hours = minute_of_day / 60 % 100;
  const int minutes = minute_of_day % 60;
  return {static_cast<char>('0' + hours / 10), static_cast<char>('0' + hours % 10), ':',
          static_cast<char>('0' + minutes / 10), static_cast<char>('0' + minutes % 10)};
}

std::optional<int> read_time_of_day(std::string_view text) {
  if (text.size() != 5 || text[2] != ':') return std::nullopt;
  const auto hours = digits_at(text, 0, 2);
  const auto minutes = digits_at(text, 3, 2);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  return *hours * 60 + *minutes;
}

std::string iso_moment(sys_seconds moment) {
  const auto day = floor<days>(moment);
  const hh_mm_ss clock{moment - day};
  char text[32];
  std::snprintf(text, sizeof text, "T%02d:%02d:%02dZ", static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return iso_date(year_month_day{day}) + text;
}

}  // namespace norvane
