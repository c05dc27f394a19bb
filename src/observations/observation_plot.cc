// SPDX-License-Identifier: MIT
#include "observations/observation_plot.h"

#include <cstdint>
#include <vector>

#include "util/number_text.h"

namespace norvane {

int minute_offset(int minute) { return (minute + 2) / 6; }

void plot_measurements(DrawingSurface& surface, std::span<const Measurement> measurements) {
  // The trace: the last value dot, and its value rounded (0 before any).
  std::int16_t obs_prev_x = 0;
  std::int16_t obs_prev_value = 0;
  for (const Measurement& measurement : measurements) {
    const auto x =
        static_cast<std::int16_t>(measurement.hour * 10 + minute_offset(measurement.minute()));
    surface.set_fill_style(FillStyle::solid);
    const std::optional<std::int16_t> rounded =
        measurement.value ? round_to_int16(*measurement.value) : std::nullopt;
    if (!rounded) {
      surface.set_fill_colour(colours::no_value);
      surface.draw_line(x, 1, x, 8, colours::no_value);
      continue;
    }
    const double v = *measurement.value;
    surface.set_fill_colour(colours::measured);
    surface.draw_circle(x, v, 2, colours::measured);
    if ((x == obs_prev_x + 2 || x == obs_prev_x + 3) && obs_prev_value != 0) {
      surface.draw_line(x, v, obs_prev_x, obs_prev_value, colours::measured);
    }
    obs_prev_x = x;
    obs_prev_value = *rounded;
  }
}

void grafico_valori_autoscalati(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                                MeasurementListing& listing) {
  state.day_counts = {};
  // A folder refused or missing is not looked at, and a station without a file of its own in
  // the days drawn is not trusted; each has been reported.
  if (state.observation_dir_status != PlotState::FolderStatus::usable || state.station_unseen) {
    state.day_measurements = PlotState::DayMeasurements::not_seen;
    return;
  }
  const Day& drawn_day = state.days[state.day_index];
  const ObservationFolder& folder = listing.current(state, day_stems(drawn_day));
  const Station& station = listing.station();
  if (station.problem != Station::Problem::none) {
    diagnostics.fail(station_problem_text(station, state.observation_dir));
    state.day_measurements = PlotState::DayMeasurements::not_seen;
    return;
  }
  fill_hour_codes(station.kind, state);

  const DayReading day = read_day(folder, day_file_names(station.kind, drawn_day), state);
  plot_measurements(surface, day.measurements);
  state.day_counts = day.counts;
  listing.note_unreadable(day.unreadable, state.observation_dir + day.first_unreadable,
                          day.first_error);
  state.day_measurements = day.unreadable > 0         ? PlotState::DayMeasurements::unreadable
                           : day.measurements.empty() ? PlotState::DayMeasurements::none_found
                                                      : PlotState::DayMeasurements::drawn;
}

}  // namespace norvane
