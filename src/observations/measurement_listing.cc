// SPDX-License-Identifier: MIT
#include "observations/measurement_listing.h"

#include <algorithm>

#include "util/file_write.h"

namespace norvane {

std::vector<std::string> day_stems(const Day& day) {
  std::vector<std::string> stems;
  for (int kind = 1; kind <= station_kinds; ++kind) {
    stems.push_back(day_file_names(kind, day).stem);
  }
  return stems;
}

bool station_has_files(const ObservationFolder& folder, const Station& station, PlotState& state,
                       std::span<const Day> days) {
  fill_hour_codes(station.kind, state);
  return std::any_of(days.begin(), days.end(), [&](const Day& day) {
    return listed_minutes(folder, day_file_names(station.kind, day), state).any();
  });
}

std::string station_without_files_text(const Station& station, const PlotState& state,
                                       std::string_view which_days) {
  std::string example;
  day_file_names(station.kind, state.days[6])
      .name(example, state.hour_codes[12], state.minute_labels[30]);
  return "no measurement file of the station for " + std::string(which_days) + " in " +
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
  const auto add_day = [&later_stems](const Day& day) {
    for (std::string& stem : day_stems(day)) later_stems.push_back(std::move(stem));
  };
  const auto today =
      std::find(planned_days_.begin(), planned_days_.end(), state.days[state.day_index]);
  if (today != planned_days_.end()) {
    for (auto day = today + 1; day != planned_days_.end(); ++day) add_day(*day);
  } else {
    for (int day = state.day_index + 1; day <= 6; ++day) add_day(state.days[day]);
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
                     " (the archive keeps what it recorded of its day)");
  } else {
    diagnostics.fail("cannot read " + std::to_string(unreadable_count_) +
                     " measurement files, the first " + quoted(first_unreadable_) + reason +
                     " (the archive keeps what it recorded of their days)");
  }
}

}  // namespace norvane
