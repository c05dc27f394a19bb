// SPDX-License-Identifier: MIT
#include "archive/archive_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "archive/archive_files.h"
#include "archive/day_record.h"
#include "archive/json_file.h"
#include "state/file_names.h"
#include "util/file_write.h"
#include "util/iso_date.h"

namespace norvane {
namespace {

constexpr std::string_view index_format = "norvane_foF2 archive index";
constexpr std::string_view year_format = "norvane_foF2 archive year";

bool later(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

std::optional<timespec> modified(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return info.st_mtim;
}

// A day's entry: its date and picture, and what its record tells (its head does), when it has
// one.
Json entry_of(const Day& day, const RecordHead* head) {
  Json entry = {{"date", day.iso()}, {"picture", file_names::archive_picture(day)}};
  if (head == nullptr) return entry;
  entry["record"] = file_names::day_record(day);
  entry["csv"] = file_names::day_csv(day);
  add_figures(entry, head->figures, "measurements");
  return entry;
}

// A year file's entries, by ISO date (which sorts them by date).
using Entries = std::map<std::string, Json>;

struct YearFile {
  bool sound = false;  // read and valid; else missing or damaged (reported)
  Entries entries;
  timespec modified{};
};

class Index {
 public:
  Index(const std::string& archive_dir, Diagnostics& diagnostics)
      : dir_(archive_dir), diagnostics_(diagnostics) {}

  // What the archive folder holds, listed once when first needed; nothing when it cannot be
  // listed (reported, but for a missing folder).
  struct Listing {
    std::map<int, std::set<Day>> pictures;  // by year
    std::set<Day> records;
    std::set<int> year_files;
  };
  const Listing* listing();

  YearFile read_year(int year);
  // The years index.json lists; none when it cannot be read.
  std::set<int> listed_years();
  // index.json as read once a run, until the run writes it.
  const JsonRead& index_file();
  // The entry of `day`, from its record.
  Json entry(const Day& day);
  // Rebuilds the entries of `year` that may not agree with their records; writes the year file
  // when they change. Needs the listing.
  void check_year(int year);
  // Sets the entries of `days` of `year` from their records.
  void update_year(int year, std::span<const Day> days);
  void write_year(int year, const Entries& entries);
  // Keeps the year file of `entries` as it is when it holds them; else writes it. A year file
  // kept must still be as new as the records it was found to agree with.
  void keep_year(int year, const YearFile& file, const Entries& entries);
  void write_index(bool from_listing, std::span<const Day> changed);
  void seal();
  // The range write_index found; or, where it did not run, the range index.json gives.
  std::optional<ArchiveRange> range();

  bool wrote() const { return wrote_; }
  bool failed() const { return failed_; }

 private:
  std::string year_path(int year) const { return dir_ + file_names::year_file(year); }
  std::string index_path() const { return dir_ + std::string(file_names::archive_index); }
  void write(const std::string& path, const Json& value, int indent);

  std::string dir_;
  Diagnostics& diagnostics_;
  std::optional<Listing> listing_;
  std::optional<ArchiveRange> range_;
  std::optional<JsonRead> index_file_;
  bool listed_ = false;
  bool wrote_ = false;
  bool failed_ = false;
};

const Index::Listing* Index::listing() {
  if (listed_) return listing_ ? &*listing_ : nullptr;
  listed_ = true;
  DIR* folder = ::opendir(dir_.c_str());
  if (folder == nullptr) {
    if (errno != ENOENT) {
      diagnostics_.fail("cannot list archive folder " + norvane::quoted(dir_) + ": " +
                        error_text(errno) + " (archive index not updated)");
    }
    return nullptr;
  }
  Listing listing;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    struct stat info {};
    const bool regular = entry->d_type == DT_REG || (entry->d_type == DT_UNKNOWN &&
                                                     ::fstatat(::dirfd(folder), entry->d_name,
                                                               &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                                                     S_ISREG(info.st_mode));
    if (!regular) continue;
    if (const auto day = file_names::day_of_archive_picture(name)) {
      listing.pictures[day->year()].insert(*day);
    } else if (const auto recorded = file_names::day_of_day_record(name)) {
      listing.records.insert(*recorded);
    } else if (const auto year = file_names::year_of_year_file(name)) {
      listing.year_files.insert(*year);
    }
    errno = 0;
  }
  const int error = errno;
  ::closedir(folder);
  if (error != 0) {
    diagnostics_.fail("cannot list archive folder " + norvane::quoted(dir_) + ": " +
                      error_text(error) + " (archive index not updated)");
    return nullptr;
  }
  listing_ = std::move(listing);
  return &*listing_;
}

YearFile Index::read_year(int year) {
  YearFile file;
  const std::string path = year_path(year);
  const JsonRead read = read_json_file(path);
  const auto damaged = [&](const std::string& problem) {
    diagnostics_.warn("archive index " + norvane::quoted(path) + " is damaged (" + problem +
                      "): made again from the day records");
    return YearFile{};
  };
  if (read.status == JsonRead::Status::missing) return file;
  if (read.status == JsonRead::Status::damaged) return damaged(read.problem);
  const Json& value = read.value;
  const auto days = value.is_object() ? value.find("days") : value.end();
  if (!has_format(value, year_format) || !is_number(value, "year", year) || days == value.end() ||
      !days->is_array()) {
    return damaged("not an archive year file of " + std::to_string(year));
  }
  for (const Json& day : *days) {
    const auto date = day.is_object() ? day.find("date") : day.end();
    const auto parsed = date != day.end() && date->is_string()
                            ? read_date(date->get_ref<const std::string&>())
                            : std::nullopt;
    if (!parsed || static_cast<int>(parsed->year()) != year ||
        !is_text(day, "picture", file_names::archive_picture(Day::of(*parsed)))) {
      return damaged("an entry is not a day of " + std::to_string(year) + " with its picture");
    }
    file.entries[date->get<std::string>()] = day;
  }
  file.sound = true;
  file.modified = modified(path).value_or(timespec{});
  return file;
}

const JsonRead& Index::index_file() {
  if (!index_file_) index_file_ = read_json_file(index_path());
  return *index_file_;
}

std::set<int> Index::listed_years() {
  std::set<int> years;
  const JsonRead& read = index_file();
  if (read.status != JsonRead::Status::read || !has_format(read.value, index_format)) return years;
  const auto listed = read.value.find("years");
  if (listed == read.value.end() || !listed->is_array()) return years;
  for (const Json& year : *listed) {
    if (year.is_number_integer()) years.insert(year.get<int>());
  }
  return years;
}

Json Index::entry(const Day& day) {
  const std::string path = archive_day_files(dir_, day).record;
  const RecordHeadRead read = read_record_head(path, day, diagnostics_);
  return entry_of(day, read.head ? &*read.head : nullptr);
}

void Index::check_year(int year) {
  const Listing* folder = listing();
  if (folder == nullptr) return;
  const YearFile file = read_year(year);
  Entries entries;
  const auto pictures = folder->pictures.find(year);
  if (pictures != folder->pictures.end()) {
    for (const Day& day : pictures->second) {
      const std::string key = day.iso();
      const auto old = file.entries.find(key);
      if (!folder->records.contains(day)) {
        // A picture of an older version keeps the counts its entry had; an entry whose record
        // has gone loses what it told.
        const bool kept =
            file.sound && old != file.entries.end() && !old->second.contains("record");
        entries[key] = kept ? old->second : entry_of(day, nullptr);
        continue;
      }
      const auto record_time = modified(archive_day_files(dir_, day).record);
      const bool agrees = file.sound && old != file.entries.end() &&
                          old->second.contains("record") && record_time &&
                          !later(*record_time, file.modified);
      entries[key] = agrees ? old->second : entry(day);
    }
  }
  keep_year(year, file, entries);
}

void Index::keep_year(int year, const YearFile& file, const Entries& entries) {
  if (!file.sound || entries != file.entries) {
    write_year(year, entries);
    return;
  }
  // Its time renewed, it is newer than the records it agrees with (the check of the days drawn
  // compares the two); where that is refused, it is written anew.
  if (::utimensat(AT_FDCWD, year_path(year).c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0) {
    write_year(year, entries);
  }
}

void Index::update_year(int year, std::span<const Day> days) {
  YearFile file = read_year(year);
  if (!file.sound) {
    check_year(year);
    return;
  }
  Entries entries = file.entries;
  for (const Day& day : days) {
    if (day.year() != year) continue;
    const auto files = archive_day_files(dir_, day);
    if (modified(files.picture)) {
      entries[day.iso()] = entry(day);
    } else {
      entries.erase(day.iso());
    }
  }
  keep_year(year, file, entries);
}

void Index::write(const std::string& path, const Json& value, int indent) {
  const auto error = write_json(path, value, indent);
  if (path == index_path()) index_file_.reset();
  report_write(error, "archive index", path, diagnostics_);
  wrote_ = true;
  failed_ = failed_ || error.has_value();
}

void Index::write_year(int year, const Entries& entries) {
  Json days = Json::array();
  for (const auto& [date, entry] : entries) days.push_back(entry);
  write(year_path(year),
        {{"format", year_format},
         {"version", json_format_version},
         {"year", year},
         {"days", std::move(days)}},
        -1);
}

void Index::write_index(bool from_listing, std::span<const Day> changed) {
  const std::string path = index_path();
  const JsonRead read = index_file();  // a copy: writing the index forgets what was read
  if (read.status == JsonRead::Status::damaged) {
    diagnostics_.warn("archive index " + norvane::quoted(path) + " is damaged (" + read.problem +
                      "): made again from the folder");
  }
  const bool sound = read.status == JsonRead::Status::read &&
                     has_format(read.value, index_format) && read.value.contains("years") &&
                     read.value["years"].is_array();
  std::set<int> years;
  ArchiveRange range;
  const auto add = [&](const Day& day) {
    years.insert(day.year());
    if (!range.first || day.date < *range.first) range.first = day.date;
    if (!range.last || day.date > *range.last) range.last = day.date;
  };
  const auto date_json = [](const auto& date) {
    return date ? Json(iso_date(*date)) : Json(nullptr);
  };
  if (from_listing || !sound) {
    const Listing* folder = listing();
    if (folder == nullptr) return;
    for (const auto& [year, days] : folder->pictures) {
      for (const Day& day : days) add(day);
    }
  } else {
    // Runs never remove a picture: the days written join those the index has.
    for (const Json& year : read.value["years"]) {
      if (year.is_number_integer()) years.insert(year.get<int>());
    }
    for (const char* end : {"first", "last"}) {
      const auto date = read.value.find(end);
      if (date != read.value.end() && date->is_string()) {
        if (const auto parsed = read_date(date->get_ref<const std::string&>()))
          add(Day::of(*parsed));
      }
    }
    for (const Day& day : changed) {
      if (modified(archive_day_files(dir_, day).picture)) add(day);
    }
  }
  const Json index = {{"format", index_format},
                      {"version", json_format_version},
                      {"years", Json(years)},
                      {"first", date_json(range.first)},
                      {"last", date_json(range.last)}};
  if (!sound || read.value != index) write(path, index, 2);
  range_ = range;
}

std::optional<ArchiveRange> Index::range() {
  if (range_) return range_;
  const JsonRead& read = index_file();
  if (read.status != JsonRead::Status::read || !has_format(read.value, index_format)) {
    return std::nullopt;
  }
  ArchiveRange range;
  for (const auto& [key, end] :
       {std::pair{"first", &range.first}, std::pair{"last", &range.last}}) {
    const auto date = read.value.find(key);
    if (date == read.value.end()) return std::nullopt;
    if (date->is_null()) continue;
    if (!date->is_string()) return std::nullopt;
    *end = read_date(date->get_ref<const std::string&>());
    if (!*end) return std::nullopt;
  }
  return range;
}

void Index::seal() {
  // An index that could not be written stays unsealed, so that the next run makes it again.
  if (failed_) return;
  const std::string path = index_path();
  for (int attempt = 0; attempt < 2; ++attempt) {
    struct stat folder {};
    if (::stat(dir_.c_str(), &folder) != 0) return;
    const timespec times[2] = {{0, UTIME_OMIT}, folder.st_mtim};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0) return;
    // Only its owner may set a file's time: made anew, index.json is this writer's.
    const JsonRead read = read_json_file(path);
    if (read.status != JsonRead::Status::read) return;
    if (write_json(path, read.value, 2)) return;
  }
}

}  // namespace

bool archive_index_sealed(const std::string& archive_dir) {
  struct stat folder {};
  struct stat index {};
  return ::stat(archive_dir.c_str(), &folder) == 0 &&
         ::lstat((archive_dir + std::string(file_names::archive_index)).c_str(), &index) == 0 &&
         S_ISREG(index.st_mode) && folder.st_mtim.tv_sec == index.st_mtim.tv_sec &&
         folder.st_mtim.tv_nsec == index.st_mtim.tv_nsec;
}

std::optional<ArchiveRange> update_archive_index(const std::string& archive_dir,
                                                 std::span<const Day> drawn,
                                                 std::span<const Day> changed, bool sealed,
                                                 Diagnostics& diagnostics) {
  const auto make_again = [&] {
    Index index(archive_dir, diagnostics);
    const auto* folder = index.listing();
    if (folder == nullptr) return std::optional<ArchiveRange>();
    std::set<int> years = folder->year_files;
    for (const auto& [year, days] : folder->pictures) years.insert(year);
    for (const int year : years) index.check_year(year);
    index.write_index(true, changed);
    index.seal();
    return index.range();
  };
  if (!sealed) return make_again();
  Index index(archive_dir, diagnostics);
  // Sealed: only the years of the days drawn may have changed, by this run's writes or by a
  // year file put back in place, older than a record of a day drawn; and a year file changed in
  // place since the index was sealed (damaged, say), which is then read to tell.
  std::set<int> changed_years;
  for (const Day& day : changed) changed_years.insert(day.year());
  std::set<int> years = changed_years;
  for (const Day& day : drawn) years.insert(day.year());
  // The other years the index lists are looked at too; a year without a day drawn is outdated
  // only when its year file is gone or was changed in place.
  years.merge(index.listed_years());
  const auto index_time = modified(archive_dir + std::string(file_names::archive_index));
  const auto changed_since_sealed = [&](const std::optional<timespec>& year_time) {
    return index_time && year_time && later(*year_time, *index_time);
  };
  bool listed = false;
  for (const int year : years) {
    const auto year_time = modified(archive_dir + file_names::year_file(year));
    const bool outdated = !year_time ||
                          (!changed_years.contains(year) && changed_since_sealed(year_time) &&
                           !index.read_year(year).sound) ||
                          std::any_of(drawn.begin(), drawn.end(), [&](const Day& day) {
                            if (day.year() != year ||
                                std::find(changed.begin(), changed.end(), day) != changed.end()) {
                              return false;
                            }
                            const auto record_time =
                                modified(archive_day_files(archive_dir, day).record);
                            return record_time && later(*record_time, *year_time);
                          });
    if (outdated) {
      index.check_year(year);
      listed = true;
    } else if (changed_years.contains(year)) {
      index.update_year(year, changed);
    }
  }
  if (!changed.empty() || listed) {
    index.write_index(listed, changed);
  }
  if (index.wrote() || !changed.empty()) index.seal();
  // A sealed index.json that cannot be read (damaged in place, its time kept) is made again.
  if (const auto range = index.range()) return range;
  return make_again();
}

}  // namespace norvane
