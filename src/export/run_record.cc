// SPDX-License-Identifier: MIT
#include "export/run_record.h"

#include "archive/day_record.h"
#include "archive/json_file.h"
#include "driver/version.h"
#include "state/file_names.h"
#include "util/iso_date.h"

namespace norvane {
namespace {

constexpr std::string_view record_format = "norvane_foF2 run record";

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

Json drawn_from_json(DrawnFrom drawn_from) {
  switch (drawn_from) {
    case DrawnFrom::folder:
      return "folder";
    case DrawnFrom::record:
      return "record";
    case DrawnFrom::folder_and_record:
      return "folder and record";
    case DrawnFrom::nothing:
      break;
  }
  return nullptr;
}

// The archive's range, or null when it could not be told.
Json archive_json(const std::optional<ArchiveRange>& range) {
  if (!range) return nullptr;
  const auto date = [](const auto& day) { return day ? Json(iso_date(*day)) : Json(nullptr); };
  return {{"first", date(range->first)}, {"last", date(range->last)}};
}

}  // namespace

void write_run_record(const std::string& picture_dir, const RunSummary& summary,
                      Diagnostics& diagnostics) {
  Json days = Json::array();
  for (const DaySummary& day : summary.days) {
    // Built member by member, which costs a fraction of an initializer list.
    Json& entry = days.emplace_back(Json::value_t::object);
    entry["slot"] = day.slot;
    entry["date"] = iso_date(day.date);
    entry["date_label"] = day.date_label;
    entry["current_picture"] = day.current_name;
    entry["archive_picture"] = day.archive_name;
    entry["current"] = picture_outcome(day.current);
    entry["archive"] = picture_outcome(day.archive);
    entry["drawn_from"] = drawn_from_json(day.drawn_from);
    entry["measurements"] = counts_json(day.figures.with_value, day.figures.without_value);
    entry["newest"] = newest_json(day.figures.newest);
    entry["lowest"] = measured_value_json(day.extremes.lowest);
    entry["highest"] = measured_value_json(day.extremes.highest);
    entry["mean_deviation_percent"] = nullptr;
    if (const auto& mean = day.figures.mean_deviation_percent)
      entry["mean_deviation_percent"] = *mean;
  }
  const Json record = {{"format", record_format},
                       {"version", json_format_version},
                       {"program", "norvane_foF2 " + std::string(program_version)},
                       {"station", summary.station},
                       {"station_folder", summary.station_folder},
                       {"today", iso_date(summary.today)},
                       {"run_started", iso_moment(summary.started)},
                       {"run_finished", iso_moment(summary.finished)},
                       {"success", summary.success},
                       {"days", std::move(days)},
                       {"archive", archive_json(summary.archive)}};
  const std::string path = picture_dir + std::string(file_names::run_record);
  report_write(write_json(path, record, 2, true), "run record", path, diagnostics);
}

}  // namespace norvane
