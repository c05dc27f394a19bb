// The measurement folder holds one small file per measurement of one ionospheric station, named
// after the date and time of the measurement in the style of that station. The station is
// recognised by the first four characters of the first line of a file in the folder; its style
// then gives the name of the file of every minute of the day:
//
//   kind  keys                        hours       name
//   1     "Gibi", "Mosc", " (la"      "A".."X"    yy ddd h mm ".TXT"              26342P30.TXT
//   2     "Tucu"                      "00".."23"  "TUJ2O_" yyyy ddd hh mm ".TXT"
//   TUJ2O_20263421530.TXT 3     "Bahi"                      "00".."23"  "BBJ3R_" yyyy ddd hh mm
//   ".TXT" 4     "Rome"                      "00".."23"  "RM041_" yyyy ddd hh mm "00.TXT" 5 "La_S"
//   "00".."23"  "SP044_" yyyy ddd hh mm "00.TXT" 6     "Mali"                      "00".."23"
//   "ML10L_" yyyy ddd hh mm "00.TXT"
//
// Keys are compared exactly, case and the leading blank of " (la" included. Kind 0 means no
// station was recognised, and then no measurement is drawn.
#pragma once

#include <string>
#include <string_view>

#include "driver/plot_state.h"
#include "observations/observation_folder.h"
#include "util/diagnostics.h"

namespace norvane {

inline constexpr int station_kinds = 6;

// The kind (1 to 6) whose key the identification line starts with, 0 for none.
int station_kind_of_line(std::string_view identification_line);

// Writes hour_codes(0..23) in the style of `station_kind` (1 to 6); hour_codes(24) stays.
void fill_hour_codes(int station_kind, PlotState& state);

// The beginning shared by the names of all files of one day in the style of `station_kind`:
// its prefix, its year part (the last two or all four digits of the year in characters 3 to 6
// of `file_previsioni`) and the day of the year.
std::string observation_day_stem(int station_kind, const std::string& file_previsioni,
                                 const std::string& doy_code);

// The name of the measurement file of one minute, without the folder.
std::string observation_file_name(int station_kind, const std::string& file_previsioni,
                                  const std::string& doy_code, const std::string& hour_code,
                                  const std::string& minute_label);

// observation_dir followed by the name of the file of `hour` (0 to 23) and `minute_slot` (1 to
// 60) of the day, using the hour and minute texts of `state`.
std::string observation_file_path(const PlotState& state, int station_kind,
                                  const std::string& file_previsioni, const std::string& doy_code,
                                  int hour, int minute_slot);

// Recognises the station from the first line of the folder's first file (which it leaves in
// `current_line`) and fills hour_codes for it. Returns 0, leaving hour_codes as they were, when
// the folder cannot be listed, holds no file, or the line matches no key; each of these is
// reported as a warning.
int identify_station(PlotState& state, const ObservationFolder& folder, Diagnostics& diagnostics,
                     std::string& current_line);

}  // namespace norvane
