// SPDX-License-Identifier: MIT
#include "observations/station.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>
#include <vector>

#include "util/file_write.h"
#include "util/input_file.h"

namespace norvane {
namespace {

struct StationStyle {
  std::array<std::string_view, 3> keys;  // unused keys are empty
  bool letter_hours;                     // "A".."X" rather than "00".."23"
  std::string_view prefix;
  bool four_digit_year;
  std::string_view suffix;
};

// Index 0 is kind 1.
constexpr std::array<StationStyle, station_kinds> styles{{
    {{"Gibi", "Mosc", " (la"}, true, "", false, ".TXT"},
    {{"Tucu"}, false, "TUJ2O_", true, ".TXT"},
    {{"Bahi"}, false, "BBJ3R_", true, ".TXT"},
    {{"Rome"}, false, "RM041_", true, "00.TXT"},
    {{"La_S"}, false, "SP044_", true, "00.TXT"},
    {{"Mali"}, false, "ML10L_", true, "00.TXT"},
}};

const StationStyle& style_of(int station_kind) {
  if (station_kind < 1 || station_kind > station_kinds) {
    throw std::out_of_range("no station style " + std::to_string(station_kind));
  }
  return styles[static_cast<std::size_t>(station_kind - 1)];
}

}  // namespace

int station_kind_of_line(std::string_view identification_line) {
  if (identification_line.size() < 4) return 0;
  const std::string_view first_four = identification_line.substr(0, 4);
  for (int kind = 1; kind <= station_kinds; ++kind) {
    for (const std::string_view key : style_of(kind).keys) {
      if (!key.empty() && key == first_four) return kind;
    }
  }
  return 0;
}

void fill_hour_codes(int station_kind, PlotState& state) {
  const bool letters = style_of(station_kind).letter_hours;
  for (int hour = 0; hour <= 23; ++hour) {
    state.hour_codes[hour] = letters ? std::string(1, static_cast<char>('A' + hour))
                                     : std::string{static_cast<char>('0' + hour / 10),
                                                   static_cast<char>('0' + hour % 10)};
  }
}

void DayFileNames::name(std::string& name, std::string_view hour_code,
                        std::string_view minute_label) const {
  name = stem;
  name += hour_code;
  name += minute_label;
  name += suffix;
}

DayFileNames day_file_names(int station_kind, const Day& day) {
  const StationStyle& style = style_of(station_kind);
  DayFileNames names{std::string(style.prefix), style.suffix};
  names.stem += day.year_digits(style.four_digit_year ? 4 : 2);
  names.stem += day.doy_code;
  return names;
}

std::bitset<24 * 60> listed_minutes(const ObservationFolder& folder, const DayFileNames& names,
                                    const PlotState& state, std::bitset<24 * 60>* listed_exactly) {
  const std::string stem = upper_ascii(names.stem);
  const std::string suffix = upper_ascii(names.suffix);
  // The hour and the minute texts in upper case with their numbers, sorted by text.
  using Text = std::pair<std::string, int>;
  std::vector<Text> hour_texts;
  for (int hour = 0; hour <= 23; ++hour) {
    hour_texts.emplace_back(upper_ascii(state.hour_codes[hour]), hour);
  }
  std::vector<Text> minute_texts;
  for (int slot = 1; slot <= 60; ++slot) {
    minute_texts.emplace_back(upper_ascii(state.minute_labels[slot]), slot);
  }
  std::sort(hour_texts.begin(), hour_texts.end());
  std::sort(minute_texts.begin(), minute_texts.end());
  std::vector<std::size_t> hour_lengths;
  for (const auto& [text, hour] : hour_texts) hour_lengths.push_back(text.size());
  std::sort(hour_lengths.begin(), hour_lengths.end());
  hour_lengths.erase(std::unique(hour_lengths.begin(), hour_lengths.end()), hour_lengths.end());
  // All entries whose text is `text`.
  struct ByText {
    bool operator()(const Text& entry, std::string_view text) const { return entry.first < text; }
    bool operator()(std::string_view text, const Text& entry) const { return text < entry.first; }
  };
  const auto with_text = [](const std::vector<Text>& texts, std::string_view text) {
    return std::equal_range(texts.begin(), texts.end(), text, ByText{});
  };

  std::bitset<24 * 60> minutes;
  folder.for_each_day_file(stem, [&](std::string_view rest, bool exact) {
    if (rest.size() < suffix.size() || !rest.ends_with(suffix)) return;
    const std::string_view hour_and_minute = rest.substr(0, rest.size() - suffix.size());
    // Every split into an hour text and a minute text is tried, so that the result does not
    // depend on the texts having one length or differing from each other.
    for (const std::size_t hour_length : hour_lengths) {
      if (hour_length > hour_and_minute.size()) break;
      const auto [first_hour, end_hour] =
          with_text(hour_texts, hour_and_minute.substr(0, hour_length));
      if (first_hour == end_hour) continue;
      const auto [first_slot, end_slot] =
          with_text(minute_texts, hour_and_minute.substr(hour_length));
      for (auto hour = first_hour; hour != end_hour; ++hour) {
        for (auto slot = first_slot; slot != end_slot; ++slot) {
          const auto minute = static_cast<std::size_t>(hour->second * 60 + slot->second - 1);
          minutes.set(minute);
          if (exact && listed_exactly != nullptr) listed_exactly->set(minute);
        }
      }
    }
  });
  return minutes;
}

std::string observation_file_path(const PlotState& state, int station_kind, const Day& day,
                                  int hour, int minute_slot) {
  std::string name;
  day_file_names(station_kind, day)
      .name(name, state.hour_codes[hour], state.minute_labels[minute_slot]);
  return state.observation_dir + name;
}

bool has_two_digit_years(int station_kind) { return !style_of(station_kind).four_digit_year; }

Station identify_station(const ObservationFolder& folder, const std::string& observation_dir) {
  Station station;
  if (folder.list_error() != 0) {
    station.error = folder.list_error();
    return station;
  }
  if (!folder.first_file()) {
    station.problem = Station::Problem::no_file;
    return station;
  }
  station.first_file = *folder.first_file();
  int error = 0;
  auto file = InputFile::open(observation_dir + station.first_file, &error,
                              InputFile::Links::not_followed_as_root);
  if (file) file->limit_reading(InputFile::page_bytes);
  if (file && !file->read_line(station.first_line)) error = file->read_error();
  if (error != 0) {
    station.problem = Station::Problem::cannot_read;
    station.error = error;
    return station;
  }
  station.kind = station_kind_of_line(station.first_line);
  station.problem = station.kind == 0 ? Station::Problem::unknown : Station::Problem::none;
  return station;
}

std::string station_problem_text(const Station& station, const std::string& observation_dir) {
  // Without the station's data the archive is kept, and the days that have a record are drawn
  // from it (archive/archive_rule.h); the run fails so that someone looks.
  constexpr std::string_view consequence = unseen_data_consequence;
  const std::string path = observation_dir + station.first_file;
  switch (station.problem) {
    case Station::Problem::none:
      break;
    case Station::Problem::cannot_list:
      return "cannot list measurement folder " + quoted(observation_dir) + ": " +
             error_text(station.error) + std::string(consequence);
    case Station::Problem::no_file:
      return "measurement folder " + quoted(observation_dir) + " holds no measurement file" +
             std::string(consequence);
    case Station::Problem::cannot_read:
      return "cannot read measurement file " + quoted(path) + ": " + error_text(station.error) +
             std::string(consequence);
    case Station::Problem::unknown:
      return "no known station: the first line of " + quoted(path) + " begins " +
             quoted(station.first_line.substr(0, 4)) + std::string(consequence);
  }
  return "";
}

}  // namespace norvane
