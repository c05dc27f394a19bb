// SPDX-License-Identifier: MIT
#include "observations/observation_plot.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "observations/observation_folder.h"
#include "observations/station.h"
#include "util/batched_close.h"
#include "util/file_write.h"
#include "util/number_text.h"
#include "util/text_fields.h"

namespace norvane {

int minute_offset(int minute) { return (minute + 2) / 6; }

std::optional<double> parse_observed_value(std::string_view value_field) {
  std::string text(trim_blanks(columns(value_field, 1, 2)));
  text += columns(value_field, 4, 1);
  return read_number(text);
}

void plot_observation_file(ObservationDay& day, InputFile& file, int hour, int minute_slot) {
  // Only the first three lines are read; the value is on line 3.
  int lines_read = 0;
  while (lines_read < 3 && file.read_line(day.current_line)) ++lines_read;
  if (lines_read < 3) return;

  const int minute = std::stoi(day.state.minute_labels[minute_slot]);
  const auto x = static_cast<std::int16_t>(hour * 10 + minute_offset(minute));
  const std::string_view value_field = columns(day.current_line, 16, 4);
  const std::optional<double> v =
      trim_blanks(value_field) == "N/A" ? std::nullopt : parse_observed_value(value_field);

  // A number beyond the 16-bit range (a garbled field such as "1E.9") is no measured value.
  const std::optional<std::int16_t> rounded = v ? round_to_int16(*v) : std::nullopt;

  DrawingSurface& surface = day.surface;
  surface.set_fill_style(FillStyle::solid);
  if (!rounded) {
    surface.set_fill_colour(colours::no_value);
    surface.draw_line(x, 1, x, 8, colours::no_value);
    return;
  }
  surface.set_fill_colour(colours::measured);
  surface.draw_circle(x, *v, 2, colours::measured);
  if ((x == day.obs_prev_x + 2 || x == day.obs_prev_x + 3) && day.obs_prev_value != 0) {
    surface.draw_line(x, *v, day.obs_prev_x, day.obs_prev_value, colours::measured);
  }
  day.obs_prev_x = x;
  day.obs_prev_value = *rounded;
}

namespace {

// Whether an open that failed with `error` found no measurement file under the listed name: it
// went away since the listing, or is something else than a file (a folder, a link to nowhere,
// a socket, which refuses the open with ENXIO).
bool is_no_file(int error) {
  return error == ENOENT || error == ENOTDIR || error == EISDIR || error == not_a_regular_file ||
         error == ELOOP || error == ENXIO;
}

}  // namespace

void MeasurementListing::note_unreadable(const std::string& path, int error) {
  if (unreadable_count_++ == 0) {
    first_unreadable_ = path;
    first_unreadable_error_ = error;
  }
}

void MeasurementListing::report_unreadable(Diagnostics& diagnostics) const {
  if (unreadable_count_ == 0) return;
  const std::string reason = ": " + error_text(first_unreadable_error_);
  if (unreadable_count_ == 1) {
    diagnostics.fail("cannot read measurement file " + quoted(first_unreadable_) + reason +
                     " (its day's archive picture kept)");
  } else {
    diagnostics.fail("cannot read " + std::to_string(unreadable_count_) +
                     " measurement files, the first " + quoted(first_unreadable_) + reason +
                     " (their days' archive pictures kept)");
  }
}

const ObservationFolder& MeasurementListing::current(const PlotState& state,
                                                     std::span<const std::string> day_stems) {
  if (folder_ && folder_->unchanged() &&
      std::all_of(day_stems.begin(), day_stems.end(),
                  [&](const std::string& stem) { return folder_->listed_for(stem); })) {
    return *folder_;
  }
  std::vector<std::string> later_stems;
  const auto add_day = [&later_stems](const std::string& file_previsioni,
                                      const std::string& doy_code) {
    for (int kind = 1; kind <= station_kinds; ++kind) {
      later_stems.push_back(day_file_names(kind, file_previsioni, doy_code).stem);
    }
  };
  const auto today = std::find_if(planned_days_.begin(), planned_days_.end(), [&](const Day& day) {
    return day.file_previsioni == state.forecast_names[state.day_index] &&
           day.doy_code == state.doy_codes[state.day_index];
  });
  if (today != planned_days_.end()) {
    for (auto day = today + 1; day != planned_days_.end(); ++day) {
      add_day(day->file_previsioni, day->doy_code);
    }
  } else {
    for (int day = state.day_index + 1; day <= 6; ++day) {
      add_day(state.forecast_names[day], state.doy_codes[day]);
    }
  }
  folder_.reset();  // the folder is open while listed: one at a time
  folder_ = ObservationFolder::list(state.observation_dir, day_stems, later_stems);
  return *folder_;
}

void grafico_valori_autoscalati(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                                const std::string& file_previsioni, MeasurementListing& listing) {
  const std::string& doy_code = state.doy_codes[state.day_index];
  std::vector<std::string> day_stems;
  for (int kind = 1; kind <= station_kinds; ++kind) {
    day_stems.push_back(day_file_names(kind, file_previsioni, doy_code).stem);
  }

  // A folder refused in the settings is not looked at; the refusal has been reported.
  if (state.observation_dir_refused) {
    state.day_measurements = PlotState::DayMeasurements::not_seen;
    return;
  }
  const ObservationFolder& folder = listing.current(state, day_stems);

  ObservationDay day{state, surface, {}, 0, 0};
  const int station_kind = identify_station(state, folder, diagnostics, day.current_line);
  if (station_kind == 0) {
    state.day_measurements = PlotState::DayMeasurements::not_seen;
    return;
  }

  const DayFileNames names = day_file_names(station_kind, file_previsioni, doy_code);
  // Only the minutes whose file the listing showed are tried: the open of any other would fail.
  const auto minutes = listed_minutes(folder, names, state);
  std::string name;
  BatchedClose read_files;
  bool any_read = false;
  bool any_unreadable = false;
  for (int hour = 0; hour <= 23; ++hour) {
    for (int minute_slot = 1; minute_slot <= 60; ++minute_slot) {
      if (!minutes.test(hour * 60 + minute_slot - 1)) continue;
      names.name(name, state.hour_codes[hour], state.minute_labels[minute_slot]);
      int error = 0;
      if (auto file = folder.open_day_file(name, &error)) {
        plot_observation_file(day, *file, hour, minute_slot);
        error = file->read_error();
        read_files.add(file->release());
        if (error == 0) {
          any_read = true;
          continue;
        }
      }
      if (is_no_file(error)) continue;
      any_unreadable = true;
      listing.note_unreadable(state.observation_dir + name, error);
    }
  }
  state.day_measurements = any_unreadable ? PlotState::DayMeasurements::unreadable
                           : any_read     ? PlotState::DayMeasurements::drawn
                                          : PlotState::DayMeasurements::none_found;
}

}  // namespace norvane
