// SPDX-License-Identifier: MIT
// The names of the files the program itself reads and writes, in one table: the export, the
// archive, the check, the settings' messages and the listing of the measurement folder (which
// must never take one of them for a station's file, when a settings file names one folder for
// everything) all take them from here.
//
//   norvane_foF2.ini          the settings file, in the working folder
//   grafico<slot>.bmp         the temporary BMP of a figure, in the forecast folder
//   plotfoF2<slot>.gif        the current pictures, slots 1 to 6, in the picture folder
//   plotfoF2.json             the run record, beside the current pictures
//   previous_foF2_plots/      the archive, a folder inside the forecast folder, which holds for
//                             each day <yyyy><ddd>.gif (its picture), .json (its record) and
//                             .csv (its measurements for spreadsheets), a year file <yyyy>.json
//                             a year, and index.json
//
// Hidden names (beginning with ".") are the writers' temporary files and turns and the lock's
// (util/file_write.h, util/run_lock.h); no hidden file is ever taken for a station's file.
#pragma once

#include <string>
#include <string_view>

#include "state/day.h"

namespace norvane::file_names {

inline constexpr std::string_view settings = "norvane_foF2.ini";
inline constexpr std::string_view run_record = "plotfoF2.json";
inline constexpr std::string_view archive_folder = "previous_foF2_plots/";
inline constexpr std::string_view archive_index = "index.json";

// "grafico1.bmp" for slot 1.
std::string temporary_bmp(int slot);
// "plotfoF21.gif" for slot 1.
std::string current_picture(int slot);

// The archive's files of a day: "2026339.gif", "2026339.json", "2026339.csv".
std::string archive_picture(const Day& day);
std::string day_record(const Day& day);
std::string day_csv(const Day& day);
// The archive's year file: "2026.json".
std::string year_file(int year);

// The day whose archive picture `name` is ("2026339.gif"), if it is one.
std::optional<Day> day_of_archive_picture(std::string_view name);
// The day whose record `name` is ("2026339.json"), if it is one.
std::optional<Day> day_of_day_record(std::string_view name);
// The year whose year file `name` is ("2026.json"), if it is one.
std::optional<int> year_of_year_file(std::string_view name);

// Whether `name` (a name in a folder, letters compared without regard to case) is one of the
// program's own files above, or hidden.
bool is_program_file(std::string_view name);

}  // namespace norvane::file_names
