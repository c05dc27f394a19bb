// SPDX-License-Identifier: MIT
#include "archive/archive_rule.h"

#include <sys/stat.h>

#include <algorithm>
#include <bitset>

namespace norvane {
namespace {

RecordedStation recorded(const Station& station) { return {station.first_line, station.kind}; }

// "\"Rome\" (style 4)".
std::string station_text(const RecordedStation& station) {
  return norvane::quoted(station.first_line.substr(0, 4)) + " (style " +
         std::to_string(station.style) + ")";
}

// `measurements` in the order of the day's slots.
std::vector<Measurement> in_slot_order(std::vector<Measurement> measurements) {
  std::sort(
      measurements.begin(), measurements.end(),
      [](const Measurement& a, const Measurement& b) { return a.slot_of_day() < b.slot_of_day(); });
  return measurements;
}

// The folder's measurements, and each recorded one whose minute the folder gives none of.
std::vector<Measurement> merged(const std::vector<Measurement>& folder, const DayRecord& record,
                                int& from_record) {
  std::bitset<24 * 60> in_folder;
  for (const Measurement& measurement : folder) {
    in_folder.set(static_cast<std::size_t>(measurement.minute_of_day()));
  }
  std::vector<Measurement> all = folder;
  for (const Measurement& measurement : record.measurements) {
    if (in_folder.test(static_cast<std::size_t>(measurement.minute_of_day()))) continue;
    all.push_back(measurement);
    ++from_record;
  }
  return in_slot_order(std::move(all));
}

}  // namespace

ArchivedDay look_at_archive(const ArchiveDayFiles& files, const Day& day, const DaySight& sight,
                            Diagnostics& diagnostics) {
  ArchivedDay archived;
  struct stat info {};
  archived.picture = ::lstat(files.picture.c_str(), &info) == 0;
  archived.head = read_record_head(files.record, day, diagnostics).head;
  if (archived.head &&
      (!sight.seen || measurements_digest(sight.reading.measurements) != archived.head->digest)) {
    archived.record = read_day_record(files.record, day, diagnostics).record;
    if (!archived.record) archived.head.reset();
  }
  if (!archived.head && archived.picture) {
    archived.picture_counts = read_archive_record_file(files.picture);
  }
  return archived;
}

DayPlan plan_day(const ArchivedDay& archived, const DaySight& sight, DayRules rules) {
  DayPlan plan;
  const ArchivePicture keep_or_write =
      archived.picture ? ArchivePicture::keep : ArchivePicture::write;
  if (!sight.seen) {
    plan.archive = keep_or_write;
    plan.drawn_from = DrawnFrom::nothing;
    if (archived.record) {
      plan.measurements = in_slot_order(archived.record->measurements);
      plan.from_record = static_cast<int>(plan.measurements.size());
      plan.drawn_from = DrawnFrom::record;
      plan.forecast_from_record = true;
    }
    return plan;
  }
  const DayReading& reading = sight.reading;
  plan.measurements = reading.measurements;
  const bool unreadable = reading.unreadable > 0;
  const auto& head = archived.head;
  if (head && head->station && !head->station->is(recorded(sight.station))) {
    // Not touched, even without its picture: a picture of this station beside the other's record
    // would tell two stories. The current picture shows this station's files.
    plan.archive = ArchivePicture::keep_other_station;
    return plan;
  }
  if (rules.redraw || !head) {
    if (!archived.picture) {
      plan.archive = ArchivePicture::write;
    } else if (unreadable) {
      plan.archive = ArchivePicture::keep;
    } else if (rules.redraw || rules.today || !archived.picture_counts) {
      plan.archive = ArchivePicture::write;
    } else {
      plan.archive = reading.counts.files() >= archived.picture_counts->files()
                         ? ArchivePicture::write
                         : ArchivePicture::keep_richer;
    }
    return plan;
  }
  // A record whose head says it holds just what the folder holds adds nothing.
  if (archived.record) {
    plan.measurements = merged(reading.measurements, *archived.record, plan.from_record);
  }
  if (plan.from_record > 0) {
    plan.drawn_from =
        reading.measurements.empty() ? DrawnFrom::record : DrawnFrom::folder_and_record;
  }
  plan.archive = ArchivePicture::write;
  return plan;
}

std::optional<RecordedStation> station_of_day(const ArchivedDay& archived, const DaySight& sight) {
  if (sight.seen) return recorded(sight.station);
  if (archived.head) return archived.head->station;
  return std::nullopt;
}

std::string other_station_text(const ArchiveDayFiles& files, const Day& day,
                               const RecordedStation& recorded_station, const Station& told,
                               const std::string& observation_dir) {
  return "day " + day.label + " of the archive is another station's: its record " +
         norvane::quoted(files.record) + " names " + station_text(recorded_station) +
         ", the measurement folder " + norvane::quoted(observation_dir) + " tells " +
         station_text(recorded(told)) + " (its picture and record kept)";
}

std::string thinner_day_text(const ArchiveDayFiles& files, const Day& day,
                             const ArchivedDay& archived, const DaySight& sight) {
  return "archive picture " + norvane::quoted(files.picture) + " of " + day.label +
         " kept: it was drawn from " + std::to_string(archived.picture_counts->files()) +
         " measurement files, the folder now holds " +
         std::to_string(sight.reading.counts.files()) + " of that day (--backfill " + day.iso() +
         " " + day.iso() + " --redraw replaces it)";
}

}  // namespace norvane
