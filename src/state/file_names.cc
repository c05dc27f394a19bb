// SPDX-License-Identifier: MIT
#include "state/file_names.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace norvane::file_names {
namespace {

constexpr std::string_view bmp_stem = "grafico";
constexpr std::string_view picture_stem = "plotfoF2";

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number_of(std::string_view digits) {
  int value = 0;
  for (const char digit : digits) value = value * 10 + (digit - '0');
  return value;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_letters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool ends_with_letters(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         same_letters(name.substr(name.size() - suffix.size()), suffix);
}

// The day of a name of seven digits (the year and the day of the year) and `suffix`.
std::optional<Day> day_of_archive_file(std::string_view name, std::string_view suffix) {
  if (name.size() != 7 + suffix.size() || !ends_with_letters(name, suffix) ||
      !all_digits(name.substr(0, 7))) {
    return std::nullopt;
  }
  return Day::of_year_and_day(number_of(name.substr(0, 4)), number_of(name.substr(4, 3)));
}

// Whether `name` is `stem`, a slot digit 1 to 6 and `suffix`.
bool is_slot_file(std::string_view name, std::string_view stem, std::string_view suffix) {
  return name.size() == stem.size() + 1 + suffix.size() &&
         same_letters(name.substr(0, stem.size()), stem) && name[stem.size()] >= '1' &&
         name[stem.size()] <= '6' && ends_with_letters(name, suffix);
}

}  // namespace

std::string temporary_bmp(int slot) {
  return std::string(bmp_stem) + std::to_string(slot) + ".bmp";
}

std::string current_picture(int slot) {
  return std::string(picture_stem) + std::to_string(slot) + ".gif";
}

std::string archive_picture(const Day& day) { return day.year_and_day() + ".gif"; }
std::string day_record(const Day& day) { return day.year_and_day() + ".json"; }
std::string day_csv(const Day& day) { return day.year_and_day() + ".csv"; }

std::string year_file(int year) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d.json", year);
  return text;
}

std::optional<Day> day_of_archive_picture(std::string_view name) {
  return day_of_archive_file(name, ".gif");
}

std::optional<Day> day_of_day_record(std::string_view name) {
  return day_of_archive_file(name, ".json");
}

std::optional<int> year_of_year_file(std::string_view name) {
  if (name.size() != 9 || !ends_with_letters(name, ".json") || !all_digits(name.substr(0, 4))) {
    return std::nullopt;
  }
  return number_of(name.substr(0, 4));
}

bool is_program_file(std::string_view name) {
  if (name.starts_with('.')) return true;
  if (same_letters(name, settings) || same_letters(name, run_record) ||
      same_letters(name, archive_index)) {
    return true;
  }
  if (is_slot_file(name, bmp_stem, ".bmp") || is_slot_file(name, picture_stem, ".gif")) return true;
  // The archive's files, by the form of their names: seven digits for a day's, four for a year's.
  for (const std::string_view suffix : {".gif", ".json", ".csv"}) {
    if (name.size() == 7 + suffix.size() && ends_with_letters(name, suffix) &&
        all_digits(name.substr(0, 7))) {
      return true;
    }
  }
  return year_of_year_file(name).has_value();
}

}  // namespace norvane::file_names
