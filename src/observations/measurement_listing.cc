// SPDX-License-Identifier: MIT
#include "observations/measurement_listing.h"

#include <algorithm>

#include "util/file_write.h"

namespace norvane {

std::vector<std::string> day_stems(const std::string& file_previsioni,
                                   const std::string& doy_code) {
  std::vector<std::string> stems;
  for (int kind = 1; kind <= station_kinds; ++kind) {
    stems.push_back(day_file_names(kind, file_previsioni, doy_code).stem);
  }
  return stems;
}

bool station_has_files(const ObservationFolder& folder, const Station& station, PlotState& state,
                       int first_day) {
  fill_hour_codes(station.kind, state);
  for (int day = first_day; day <= 6; ++day) {
    const DayFileNames names =
        day_file_names(station.kind, state.forecast_names[day], state.doy_codes[day]);
    if (listed_minutes(folder, names, state).any()) return true;
  }
  return false;
}

std::string station_without_files_text(const Station& station, const PlotState& state) {
  std::string example;
  day_file_names(station.kind, state.forecast_names[6], state.doy_codes[6])
      .name(example, state.hour_codes[12], state.minute_labels[30]);
  return "no measurement file of the station for any of the six days in " +
         quoted(state.observation_dir) + ": the first line of " +
         quoted(state.observation_dir + station.first_file) + " begins " +
         quoted(station.first_line.substr(0, 4)) + ", which names station style " +
         std::to_string(station.kind) + ", whose files are named like " + quoted(example) +
         std::string(unseen_data_consequence);
}

const ObservationFolder& MeasurementListing::current(const PlotState& state,
                                                     std::span<const std::string> stems) {
  if (folder_ && folder_->unchanged() &&
      std::all_of(stems.begin(), stems.end(),
                  [&](const std::string& stem) { return folder_->listed_for(stem); })) {
    return *folder_;
  }
  std::vector<std::string> later_stems;
  const auto add_day = [&later_stems](const std::string& file_previsioni,
                                      const std::string& doy_code) {
    for (std::string& stem : day_stems(file_previsioni, doy_code)) {
      later_stems.push_back(std::move(stem));
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
  folder_ = ObservationFolder::list(state.observation_dir, stems, later_stems);
  station_ = identify_station(*folder_, state.observation_dir);
  return *folder_;
}

void MeasurementListing::note_unreadable(int count, const std::string& first_path,
                                         int first_error) {
  if (count <= 0) return;
  if (unreadable_count_ == 0) {
    first_unreadable_ = first_path;
    first_unreadable_error_ = first_error;
  }
  unreadable_count_ += count;
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

}  // namespace norvane
