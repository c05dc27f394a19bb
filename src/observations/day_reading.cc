// SPDX-License-Identifier: MIT
#include "observations/day_reading.h"

#include <cerrno>

#include "util/batched_close.h"
#include "util/number_text.h"
#include "util/text_fields.h"

namespace norvane {
namespace {

// Whether an open that failed with `error` found no measurement file under the listed name: it
// went away since the listing, or is something else than a file (a folder, a link to nowhere,
// a socket, which refuses the open with ENXIO).
bool is_no_file(int error) {
  return error == ENOENT || error == ENOTDIR || error == EISDIR || error == not_a_regular_file ||
         error == ELOOP || error == ENXIO;
}

// The measurement field, characters 16 to 19 of line 3, ends with the 19th.
constexpr std::size_t value_field_end = 19;

}  // namespace

std::optional<double> parse_observed_value(std::string_view value_field) {
  std::string text(trim_blanks(columns(value_field, 1, 2)));
  text += columns(value_field, 4, 1);
  return read_number(text);
}

std::optional<Measurement> read_measurement(InputFile& file, int hour, int minute_slot) {
  // Only the first three lines are read, from the first page of the file; the value is on line
  // 3. That line may run on past the page as long as its value field lies within it.
  file.limit_reading(InputFile::page_bytes);
  std::string line;
  for (int lines_read = 0; lines_read < 3; ++lines_read) {
    if (!file.read_line(line)) return std::nullopt;
  }
  if (line.size() < value_field_end && file.line_cut_at_limit()) return std::nullopt;
  Measurement measurement{hour, minute_slot, std::nullopt, {}};
  const std::string_view value_field = columns(line, 16, 4);
  if (trim_blanks(value_field) == "N/A") return measurement;
  // A number beyond the 16-bit range (a garbled field such as "1E.9") is no measured value.
  const std::optional<double> value = parse_observed_value(value_field);
  if (value && round_to_int16(*value)) measurement.value = value;
  return measurement;
}

int measurement_error(const InputFile& file) {
  if (file.read_error() != 0) return file.read_error();
  return file.line_cut_at_limit() ? larger_than_a_measurement : too_few_lines;
}

DayReading read_day(const ObservationFolder& folder, const DayFileNames& names,
                    const PlotState& state) {
  DayReading day;
  // Only the minutes whose file the listing showed are tried: the open of any other would fail.
  std::bitset<24 * 60> listed_exactly;
  const auto minutes = listed_minutes(folder, names, state, &listed_exactly);
  std::string name;
  BatchedClose read_files;
  day.measurements.reserve(minutes.count());
  for (int hour = 0; hour <= 23; ++hour) {
    for (int minute_slot = 1; minute_slot <= 60; ++minute_slot) {
      const auto minute = static_cast<std::size_t>(hour * 60 + minute_slot - 1);
      if (!minutes.test(minute)) continue;
      names.name(name, state.hour_codes[hour], state.minute_labels[minute_slot]);
      int error = 0;
      if (auto file = folder.open_day_file(name, listed_exactly.test(minute), &error)) {
        const auto measurement = read_measurement(*file, hour, minute_slot);
        error = measurement ? 0 : measurement_error(*file);
        read_files.add(file->release());
        if (measurement) {
          day.measurements.push_back(*measurement);
          day.measurements.back().file = name;
          continue;
        }
      }
      if (is_no_file(error)) continue;
      if (day.unreadable++ == 0) {
        day.first_unreadable = name;
        day.first_error = error;
      }
    }
  }
  day.counts = count_measurements(day.measurements);
  return day;
}

PlotState::DayCounts count_measurements(std::span<const Measurement> measurements) {
  PlotState::DayCounts counts;
  for (const Measurement& measurement : measurements) {
    ++(measurement.value ? counts.files_with_value : counts.files_without_value);
    if (!counts.newest_minute || measurement.minute_of_day() > *counts.newest_minute) {
      counts.newest_minute = measurement.minute_of_day();
      counts.newest_value = measurement.value;
    }
  }
  return counts;
}

DaySight look_at_day(PlotState& state, MeasurementListing& listing, Diagnostics& diagnostics) {
  DaySight sight;
  state.day_measurements = PlotState::DayMeasurements::not_seen;
  // A folder refused or missing is not looked at, and a station without a file of its own in
  // the days drawn is not trusted; each has been reported.
  if (state.observation_dir_status != PlotState::FolderStatus::usable || state.station_unseen) {
    return sight;
  }
  const Day& day = state.days[state.day_index];
  const ObservationFolder& folder = listing.current(state, day_stems(day));
  const Station& station = listing.station();
  if (station.problem != Station::Problem::none) {
    diagnostics.fail(station_problem_text(station, state.observation_dir));
    return sight;
  }
  fill_hour_codes(station.kind, state);
  sight.seen = true;
  sight.station = station;
  sight.reading = read_day(folder, day_file_names(station.kind, day), state);
  const DayReading& reading = sight.reading;
  listing.note_unreadable(reading.unreadable, state.observation_dir + reading.first_unreadable,
                          reading.first_error);
  state.day_measurements = reading.unreadable > 0         ? PlotState::DayMeasurements::unreadable
                           : reading.measurements.empty() ? PlotState::DayMeasurements::none_found
                                                          : PlotState::DayMeasurements::drawn;
  return sight;
}

}  // namespace norvane
