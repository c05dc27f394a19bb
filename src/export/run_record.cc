// SPDX-License-Identifier: MIT
#include "export/run_record.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <vector>

#include "driver/version.h"
#include "state/file_names.h"
#include "util/file_write.h"
#include "util/input_file.h"
#include "util/iso_date.h"

namespace norvane {
namespace {

// Objects keep their members in the order written, so that the files read as documented.
using Json = nlohmann::ordered_json;
using std::chrono::year_month_day;

constexpr std::string_view record_format = "norvane_foF2 run record";
constexpr std::string_view index_format = "norvane_foF2 archive index";
constexpr std::string_view year_format = "norvane_foF2 archive year";
constexpr int format_version = 1;

std::string two_digits(long value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02ld", value % 100);
  return text;
}

// "2026-12-05T14:35:02Z".
std::string utc_time_text(std::chrono::sys_seconds time) {
  const auto day = std::chrono::floor<std::chrono::days>(time);
  const std::chrono::hh_mm_ss clock{time - day};
  return iso_date(year_month_day{day}) + "T" + two_digits(clock.hours().count()) + ":" +
         two_digits(clock.minutes().count()) + ":" + two_digits(clock.seconds().count()) + "Z";
}

// The archive picture's name of `date`: "2026339.gif".
std::string picture_name(year_month_day date) { return file_names::archive_picture(Day::of(date)); }

std::string_view picture_outcome(DaySummary::Picture picture) {
  switch (picture) {
    case DaySummary::Picture::written:
      return "written";
    case DaySummary::Picture::unchanged:
      return "unchanged";
    case DaySummary::Picture::kept:
      return "kept";
    case DaySummary::Picture::failed:
      return "failed";
    case DaySummary::Picture::not_written:
      break;
  }
  return "not_written";
}

Json measurements_of(const DaySummary& day) {
  return {{"with_value", day.files_with_value}, {"without_value", day.files_without_value}};
}

// The newest measurement drawn: its time (UT), its value and the forecast at its hour, in MHz,
// each null when there is none; null when no measurement was drawn.
Json newest_of(const DaySummary& day) {
  if (!day.newest_minute) return nullptr;
  const int minute = *day.newest_minute;
  Json newest = {{"time", two_digits(minute / 60) + ":" + two_digits(minute % 60)},
                 {"value_mhz", nullptr},
                 {"forecast_mhz", nullptr}};
  if (day.newest_value_mhz) newest["value_mhz"] = *day.newest_value_mhz;
  if (day.forecast_at_newest_mhz) newest["forecast_mhz"] = *day.forecast_at_newest_mhz;
  return newest;
}

std::string text_of(const Json& value, int indent) {
  // Station names come from the station's files and may hold any byte: a byte that is not
  // UTF-8 becomes U+FFFD rather than stopping the write.
  return value.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

// Writes `value` at `path`; `every_run` for a file rewritten by each run, which then takes the
// way that frees no disk blocks (util/file_write.h).
std::optional<FileError> write_json(const std::string& path, const Json& value, int indent,
                                    bool every_run = false) {
  const std::string text = text_of(value, indent);
  const std::span bytes{reinterpret_cast<const unsigned char*>(text.data()), text.size()};
  return every_run ? write_file_by_turns(path, bytes) : write_file_atomically(path, bytes);
}

// The JSON in the file at `path`; nothing when the file is missing, unreadable or no JSON.
std::optional<Json> read_json(const std::string& path) {
  int error = 0;
  auto file = InputFile::open(path, &error);
  if (!file) return std::nullopt;
  std::vector<unsigned char> bytes;
  if (!file->read_all(bytes)) return std::nullopt;
  Json value = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

bool is_text(const Json& object, std::string_view key, std::string_view expected) {
  const auto member = object.find(key);
  return member != object.end() && member->is_string() &&
         member->get_ref<const std::string&>() == expected;
}

bool is_number(const Json& object, std::string_view key, int expected) {
  const auto member = object.find(key);
  return member != object.end() && member->is_number_integer() && *member == expected;
}

bool has_format(const Json& file, std::string_view format) {
  return file.is_object() && is_text(file, "format", format) &&
         is_number(file, "version", format_version);
}

// A year file's days, by ISO date (which sorts them by date).
using YearDays = std::map<std::string, Json>;

// The days of a sound year file of `year`; nothing for a missing or damaged one.
std::optional<YearDays> read_year_file(const std::string& path, int year) {
  const auto file = read_json(path);
  if (!file || !has_format(*file, year_format) || !is_number(*file, "year", year)) {
    return std::nullopt;
  }
  const auto days = file->find("days");
  if (days == file->end() || !days->is_array()) return std::nullopt;
  YearDays result;
  for (const Json& day : *days) {
    if (!day.is_object() || !day.contains("date") || !day["date"].is_string()) return std::nullopt;
    const auto& date = day["date"].get_ref<const std::string&>();
    const auto parsed = read_date(date);
    if (!parsed || static_cast<int>(parsed->year()) != year ||
        !is_text(day, "picture", picture_name(*parsed))) {
      return std::nullopt;
    }
    result[date] = day;
  }
  return result;
}

// The entry of a day whose picture is there but whose counts are not known.
Json bare_entry(year_month_day date) {
  return {{"date", iso_date(date)}, {"picture", picture_name(date)}};
}

Json full_entry(const DaySummary& day) {
  Json entry = bare_entry(day.date);
  entry["measurements"] = measurements_of(day);
  entry["newest"] = newest_of(day);
  return entry;
}

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// What the archive folder holds: its pictures by year, and the years that have a year file.
struct ArchiveListing {
  std::map<int, std::set<std::string>> pictures;  // ISO dates
  std::set<int> year_files;
};

std::optional<ArchiveListing> list_archive(const std::string& archive_dir, int& error) {
  DIR* folder = ::opendir(archive_dir.empty() ? "." : archive_dir.c_str());
  if (folder == nullptr) {
    error = errno;
    return std::nullopt;
  }
  ArchiveListing listing;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    const bool regular =
        entry->d_type == DT_REG ||
        (entry->d_type == DT_UNKNOWN && is_regular_file(archive_dir + std::string(name)));
    if (!regular) continue;
    if (const auto day = file_names::day_of_archive_picture(name)) {
      listing.pictures[day->year()].insert(day->iso());
    } else if (const auto year = file_names::year_of_year_file(name)) {
      listing.year_files.insert(*year);
    }
  }
  error = errno;
  ::closedir(folder);
  if (error != 0) return std::nullopt;
  return listing;
}

bool is_sound_index(const Json& index) {
  return has_format(index, index_format) && index.contains("years") && index["years"].is_array();
}

Json index_of(const ArchiveListing& listing) {
  Json years = Json::array();
  Json first = nullptr;
  Json last = nullptr;
  for (const auto& [year, dates] : listing.pictures) {
    if (dates.empty()) continue;
    years.push_back(year);
    if (first.is_null()) first = *dates.begin();
    last = *dates.rbegin();
  }
  return {{"format", index_format},
          {"version", format_version},
          {"years", std::move(years)},
          {"first", std::move(first)},
          {"last", std::move(last)}};
}

bool settled(const DaySummary& day) {
  return day.archive == DaySummary::Picture::unchanged || day.archive == DaySummary::Picture::kept;
}

void report_write(const std::optional<FileError>& error, std::string_view what,
                  const std::string& path, Diagnostics& diagnostics) {
  if (error) {
    diagnostics.fail("cannot write " + std::string(what) + " " + norvane::quoted(path) + ": " +
                     error->reason);
  }
}

}  // namespace

void write_run_record(const std::string& picture_dir, const RunSummary& summary,
                      Diagnostics& diagnostics) {
  Json days = Json::array();
  for (const DaySummary& day : summary.days) {
    days.push_back({{"slot", day.slot},
                    {"date", iso_date(day.date)},
                    {"date_label", day.date_label},
                    {"current_picture", day.current_name},
                    {"archive_picture", day.archive_name},
                    {"current", picture_outcome(day.current)},
                    {"archive", picture_outcome(day.archive)},
                    {"measurements", measurements_of(day)},
                    {"newest", newest_of(day)}});
  }
  const Json record = {{"format", record_format},
                       {"version", format_version},
                       {"program", "norvane_foF2 " + std::string(program_version)},
                       {"station", summary.station},
                       {"station_folder", summary.station_folder},
                       {"today", iso_date(summary.today)},
                       {"run_started", utc_time_text(summary.started)},
                       {"run_finished", utc_time_text(summary.finished)},
                       {"success", summary.success},
                       {"days", std::move(days)}};
  const std::string path = picture_dir + std::string(file_names::run_record);
  report_write(write_json(path, record, 2, true), "run record", path, diagnostics);
}

void update_archive_index(const std::string& archive_dir, std::span<const DaySummary> days,
                          Diagnostics& diagnostics) {
  using Picture = DaySummary::Picture;
  // The days that tell the index something (their archive picture is there), by year.
  std::map<int, std::vector<const DaySummary*>> by_year;
  for (const DaySummary& day : days) {
    if (day.archive == Picture::written || settled(day)) {
      by_year[static_cast<int>(day.date.year())].push_back(&day);
    }
  }
  if (by_year.empty()) return;

  const std::string index_path = archive_dir + std::string(file_names::archive_index);
  const auto index = read_json(index_path);
  const bool index_sound = index && is_sound_index(*index);

  // The year files that change, with their new days.
  std::map<int, YearDays> changed;
  for (const auto& [year, year_days] : by_year) {
    const std::string path = archive_dir + file_names::year_file(year);
    // A run redraws the finished days of its six unchanged: their entries are in place.
    const bool all_settled = std::all_of(year_days.begin(), year_days.end(),
                                         [](const DaySummary* day) { return settled(*day); });
    if (all_settled && is_regular_file(path)) continue;
    const auto existing = read_year_file(path, year);
    YearDays merged = existing.value_or(YearDays{});
    for (const DaySummary* day : year_days) {
      const std::string key = iso_date(day->date);
      if (day->archive == Picture::kept) {
        if (!merged.contains(key)) merged[key] = bare_entry(day->date);
      } else {
        merged[key] = full_entry(*day);
      }
    }
    if (!existing || merged != *existing) changed.emplace(year, std::move(merged));
  }
  if (changed.empty() && index_sound) return;

  int error = 0;
  const auto listing = list_archive(archive_dir, error);
  if (!listing) {
    diagnostics.fail("cannot list archive folder " + norvane::quoted(archive_dir) + ": " +
                     error_text(error) + " (archive index not updated)");
    return;
  }
  // A year that has pictures but no year file gets one.
  for (const auto& [year, dates] : listing->pictures) {
    if (!listing->year_files.contains(year)) changed.try_emplace(year);
  }
  for (auto& [year, entries] : changed) {
    const auto pictures = listing->pictures.find(year);
    const std::set<std::string> none;
    const auto& dates = pictures == listing->pictures.end() ? none : pictures->second;
    std::erase_if(entries, [&](const auto& entry) { return !dates.contains(entry.first); });
    for (const std::string& date : dates) {
      if (!entries.contains(date)) entries[date] = bare_entry(*read_date(date));
    }
    Json list = Json::array();
    for (auto& [date, entry] : entries) list.push_back(std::move(entry));
    const Json file = {{"format", year_format},
                       {"version", format_version},
                       {"year", year},
                       {"days", std::move(list)}};
    const std::string path = archive_dir + file_names::year_file(year);
    report_write(write_json(path, file, -1), "archive index", path, diagnostics);
  }
  const Json new_index = index_of(*listing);
  if (!index_sound || *index != new_index) {
    report_write(write_json(index_path, new_index, 2), "archive index", index_path, diagnostics);
  }
}

}  // namespace norvane
