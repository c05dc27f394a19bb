// SPDX-License-Identifier: MIT
#include "archive/archive_index.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "archive/json_file.h"
#include "state/file_names.h"
#include "util/file_write.h"
#include "util/iso_date.h"

namespace norvane {
namespace {

using std::chrono::year_month_day;

constexpr std::string_view index_format = "norvane_foF2 archive index";
constexpr std::string_view year_format = "norvane_foF2 archive year";

// The archive picture's name of `date`: "2026339.gif".
std::string picture_name(year_month_day date) { return file_names::archive_picture(Day::of(date)); }

// A year file's days, by ISO date (which sorts them by date).
using YearDays = std::map<std::string, Json>;

// The days of a sound year file of `year`; nothing for a missing or damaged one.
std::optional<YearDays> read_year_file(const std::string& path, int year) {
  const JsonRead read = read_json_file(path);
  const std::optional<Json> file =
      read.status == JsonRead::Status::read ? std::optional(read.value) : std::nullopt;
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
          {"version", json_format_version},
          {"years", std::move(years)},
          {"first", std::move(first)},
          {"last", std::move(last)}};
}

bool settled(const DaySummary& day) {
  return day.archive == DaySummary::Picture::unchanged || day.archive == DaySummary::Picture::kept;
}

}  // namespace

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
  const JsonRead index_read = read_json_file(index_path);
  const std::optional<Json> index =
      index_read.status == JsonRead::Status::read ? std::optional(index_read.value) : std::nullopt;
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
                       {"version", json_format_version},
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
