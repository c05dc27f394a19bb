// SPDX-License-Identifier: MIT
// The measurement folder holds one small file per measurement of one ionospheric station, named
// after the date and time of the measurement in the style of that station. The station is
// recognised by the first four characters of the first line of a file in the folder; its style
// then gives the name of the file of every minute of the day:
//
//   kind  keys                    hours       name                            for 15:30 of day 342
//   1     "Gibi" "Mosc" " (la"    "A".."X"    yy ddd h mm ".TXT"              26342P30.TXT
//   2     "Tucu"                  "00".."23"  "TUJ2O_" yyyy ddd hh mm ".TXT"  TUJ2O_20263421530.TXT
//   3     "Bahi"                  "00".."23"  "BBJ3R_" yyyy ddd hh mm ".TXT"  BBJ3R_20263421530.TXT
//   4     "Rome"                  "00".."23"  "RM041_" yyyy ddd hh mm "00.TXT"
//   5     "La_S"                  "00".."23"  "SP044_" yyyy ddd hh mm "00.TXT"
//   6     "Mali"                  "00".."23"  "ML10L_" yyyy ddd hh mm "00.TXT"
//
// (kind 4 at 15:30 of day 342: RM041_2026342153000.TXT)
//
// Keys are compared exactly, case and the leading blank of " (la" included. Kind 0 means no
// station was recognised, and then no measurement file is read.
#pragma once

#include <bitset>
#include <string>
#include <string_view>

#include "observations/observation_folder.h"
#include "state/day.h"
#include "state/plot_state.h"
#include "util/diagnostics.h"

namespace norvane {

inline constexpr int station_kinds = 6;

// The kind (1 to 6) whose key the identification line starts with, 0 for none.
int station_kind_of_line(std::string_view identification_line);

// Writes hour_codes(0..23) in the style of `station_kind` (1 to 6); hour_codes(24) stays.
void fill_hour_codes(int station_kind, PlotState& state);

// The names of the measurement files of one day in the style of one station. Every style's
// names are in upper case.
struct DayFileNames {
  std::string stem;         // prefix, year part and day of the year
  std::string_view suffix;  // ".TXT" or "00.TXT"

  // Sets `name` to the name of the file of the minute with these hour and minute texts, without
  // the folder.
  void name(std::string& name, std::string_view hour_code, std::string_view minute_label) const;
};

// The names of the files of `day` in the style of `station_kind` (1 to 6), whose year part is
// the last two or all four digits of the day's year.
DayFileNames day_file_names(int station_kind, const Day& day);

// The minutes of the day that have a file in the listing of `folder`: bit hour * 60 +
// minute_slot - 1 is set when the listing showed a file of the day named, letters compared
// without regard to case, as `names` names the file of `hour` (0 to 23) and `minute_slot` (1 to
// 60) with the hour and minute texts of `state`. A day's few files are matched to their minutes
// once, instead of its 1,440 names being made and looked up one by one. `listed_exactly`, when
// given, gets the bits of the minutes whose name the listing showed exactly as `names` writes
// it, as a regular file.
std::bitset<24 * 60> listed_minutes(const ObservationFolder& folder, const DayFileNames& names,
                                    const PlotState& state,
                                    std::bitset<24 * 60>* listed_exactly = nullptr);

// observation_dir followed by the name of the file of `hour` (0 to 23) and `minute_slot` (1 to
// 60) of the day, using the hour and minute texts of `state`.
std::string observation_file_path(const PlotState& state, int station_kind, const Day& day,
                                  int hour, int minute_slot);

// Whether the file names of `station_kind` (1 to 6) carry the year in two digits, so that they
// tell apart only the days of one hundred years.
bool has_two_digit_years(int station_kind);

// The station a listing of the measurement folder tells: the first line of its first file.
struct Station {
  enum class Problem {
    none,         // told: `kind` is 1 to 6
    cannot_list,  // the folder cannot be listed (`error`)
    no_file,      // the folder holds no file that could tell a station
    cannot_read,  // its first file cannot be read (`error`)
    unknown,      // the first line of its first file matches no station's key
  };
  Problem problem = Problem::cannot_list;
  int error = 0;
  int kind = 0;
  std::string first_file;  // the first file's name, to put after observation_dir
  std::string first_line;  // the first line of that file, as it gives it
};

// Tells the station from `folder`, the listing of the measurement folder.
Station identify_station(const ObservationFolder& folder, const std::string& observation_dir);

// What a run does when it cannot see the station's data (the measurement folder missing, empty
// or not listable, no station told, none of its files), as the message of the cause says it: an
// archive picture that exists is kept, one that does not is written, and each day that has a
// record is drawn from it, the others without measurements (archive/archive_rule.h).
inline constexpr std::string_view unseen_data_consequence =
    " (archive pictures kept, or written where missing; days with a record drawn from it)";

// Why `station` could not be told, as a line for the operator (a problem other than none); the
// run then cannot see the station's data, so it keeps the archive and draws the days that have a
// record from it (archive/archive_rule.h).
std::string station_problem_text(const Station& station, const std::string& observation_dir);

}  // namespace norvane
