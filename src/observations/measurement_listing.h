// SPDX-License-Identifier: MIT
// A run draws six days, and a backfill many more, from one measurement folder. The folder is
// listed for the day drawn and the days after it, and the listing, with the station it tells,
// is kept from one day to the next while the folder does not change, so that a folder nobody
// writes to is listed once. The files that the listings showed but that could not be read are
// gathered here too, to be reported once for the whole run.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "observations/observation_folder.h"
#include "observations/station.h"
#include "state/plot_state.h"
#include "util/diagnostics.h"

namespace norvane {

// The stems of the day's file names in every station's style: the station is not known before
// the folder is listed.
std::vector<std::string> day_stems(const Day& day);

// Whether the listing `folder` shows a file of `station` (told, kind 1 to 6) for any of `days`;
// fills hour_codes for the station. A folder that tells a station but holds none of its files
// for the days drawn was told by a stray file: no day's data can be trusted to be seen.
bool station_has_files(const ObservationFolder& folder, const Station& station, PlotState& state,
                       std::span<const Day> days);

// The line that says so, naming the file that told the station and how its files are named;
// `which_days` says which days were looked at ("any of the six days").
std::string station_without_files_text(const Station& station, const PlotState& state,
                                       std::string_view which_days = "any of the six days");

class MeasurementListing {
 public:
  // The days that will be drawn, in order, so that a listing made for one day is made for the
  // days after it too: a backfill draws many days from one listing. Without them, the days
  // after state.day_index in the table of days are taken.
  void plan_days(std::vector<Day> days) { planned_days_ = std::move(days); }

  // A listing of state.observation_dir for `day_stems` (the stems of the day drawn): the one
  // kept when it is for them and the folder is unchanged, else a new one, which is also for the
  // days after state.day_index.
  const ObservationFolder& current(const PlotState& state, std::span<const std::string> day_stems);
  // The station that the current listing tells; there must be a listing.
  const Station& station() const { return *station_; }
  // The station's identification line when a listing has told one, else nothing.
  const std::string* told_station_line() const {
    return station_ && station_->problem == Station::Problem::none ? &station_->first_line
                                                                   : nullptr;
  }

  // Notes `count` files of a day, shown by the listing, that could not be opened or read or held
  // too little: the first at `first_path`, for the reason `first_error`.
  void note_unreadable(int count, const std::string& first_path, int first_error);
  int unreadable_count() const { return unreadable_count_; }
  // Reports the files noted, as one failure: how many, the first and the reason.
  void report_unreadable(Diagnostics& diagnostics) const;

 private:
  std::optional<ObservationFolder> folder_;
  std::optional<Station> station_;
  std::vector<Day> planned_days_;
  int unreadable_count_ = 0;
  std::string first_unreadable_;
  int first_unreadable_error_ = 0;
};

}  // namespace norvane
