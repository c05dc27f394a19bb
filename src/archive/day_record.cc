// SPDX-License-Identifier: MIT
#include "archive/day_record.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>

#include "forecast/forecast_curve.h"
#include "util/digest.h"
#include "util/iso_date.h"
#include "util/number_text.h"

namespace norvane {
namespace {

constexpr std::string_view record_format = "norvane_foF2 day record";

// `value` to `decimals` decimals (1 or 2), as the number that prints as such.
double rounded(double value, int decimals) {
  const double scale = decimals == 1 ? 10 : 100;
  return std::round(value * scale) / scale;
}

// A value in tenths of MHz as MHz: exactly the tenths divided by 10, which JSON writes in the
// fewest digits that read back as that very number.
double mhz_of(double tenths) { return tenths / 10; }

Json value_json(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

// The curve's value at `minute_of_day` in MHz, to a hundredth.
std::optional<double> curve_mhz(const ForecastValues& forecast, int minute_of_day) {
  const auto tenths = forecast_curve_value(forecast, minute_of_day);
  if (!tenths) return std::nullopt;
  return rounded(mhz_of(*tenths), 2);
}

// How far `value` lies from the curve at its time, in percent of the curve: nothing without a
// value, a curve, or with a curve at 0.
std::optional<double> deviation_of(const ForecastValues& forecast, const Measurement& measurement) {
  const auto curve = forecast_curve_value(forecast, measurement.minute_of_day());
  if (!measurement.value || !curve || *curve == 0) return std::nullopt;
  return (*measurement.value - *curve) / *curve * 100;
}

Json measurement_json(const Measurement& measurement) {
  // Built member by member, which costs a fraction of an initializer list: a day's record holds
  // up to 1,440 of them.
  Json entry(Json::value_t::object);
  entry["time"] = time_of_day_text(measurement.minute_of_day());
  entry["file"] = measurement.file;
  entry["value_mhz"] = nullptr;
  if (measurement.value) {
    const double mhz = mhz_of(*measurement.value);
    entry["value_mhz"] = mhz;
    // A value that its MHz do not give back exactly (a garbled field read as 0.5 tenths, say)
    // keeps its tenths too, so that the figure is drawn again to the pixel.
    if (mhz * 10 != *measurement.value) entry["tenths"] = *measurement.value;
  }
  return entry;
}

const Json* member(const Json& object, std::string_view key) {
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

const std::string* text_member(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

// A value in tenths of MHz that the figure can draw as a dot: a finite number whose rounding fits
// the 16-bit range.
bool drawable(double tenths) { return round_to_int16(tenths).has_value(); }

std::optional<RecordedStation> station_of(const Json& station, std::string* problem) {
  const std::string* first_line =
      station.is_object() ? text_member(station, "first_line") : nullptr;
  const Json* style = station.is_object() ? member(station, "style") : nullptr;
  if (first_line == nullptr || style == nullptr || !style->is_number_integer() || *style < 1 ||
      *style > 6) {
    *problem = "its station is not a first line and a style";
    return std::nullopt;
  }
  return RecordedStation{*first_line, style->get<int>()};
}

bool read_forecast(const Json& hours, ForecastValues& forecast) {
  if (!hours.is_array() || hours.size() != forecast.size()) return false;
  for (std::size_t hour = 0; hour < forecast.size(); ++hour) {
    const Json& value = hours[hour];
    if (value.is_null()) continue;
    if (!value.is_number()) return false;
    const double tenths = value.get<double>() * 10;
    const auto whole = round_to_int16(tenths);
    if (!whole || std::abs(tenths - *whole) > 1e-6) return false;
    forecast[hour] = whole;
  }
  return true;
}

std::optional<Measurement> measurement_of(const Json& entry) {
  if (!entry.is_object()) return std::nullopt;
  const std::string* time = text_member(entry, "time");
  const std::string* file = text_member(entry, "file");
  const Json* mhz = member(entry, "value_mhz");
  const Json* tenths = member(entry, "tenths");
  const auto minute_of_day = time ? read_time_of_day(*time) : std::nullopt;
  if (!minute_of_day || file == nullptr || mhz == nullptr ||
      (!mhz->is_null() && !mhz->is_number()) ||
      (tenths != nullptr && (!tenths->is_number() || mhz->is_null()))) {
    return std::nullopt;
  }
  const int minute = *minute_of_day % 60;
  Measurement measurement{*minute_of_day / 60, minute == 0 ? 60 : minute, std::nullopt, *file};
  if (!mhz->is_null()) {
    const double value = tenths != nullptr ? tenths->get<double>() : mhz->get<double>() * 10;
    if (!drawable(value)) return std::nullopt;
    measurement.value = value;
  }
  return measurement;
}

// A member that is a number or null: its value, or nothing; `*sound` cleared when it is neither.
std::optional<double> number_or_null(const Json& object, std::string_view key, bool* sound) {
  const Json* value = member(object, key);
  if (value == nullptr || !(value->is_null() || value->is_number())) {
    *sound = false;
    return std::nullopt;
  }
  if (value->is_null()) return std::nullopt;
  return value->get<double>();
}

std::optional<int> count_member(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_number_integer() || *value < 0 || *value > 24 * 60) {
    return std::nullopt;
  }
  return value->get<int>();
}

// A GIF of a figure is a few KB; a larger size cannot be one of the program's.
constexpr std::uint64_t max_gif_bytes = 1 << 20;

Json picture_json(const EncodedPicture& picture) {
  Json entry(Json::value_t::object);
  entry["digest"] = digest_text(picture.picture_digest);
  entry["gif_digest"] = digest_text(picture.gif_digest);
  entry["gif_bytes"] = picture.gif_bytes;
  return entry;
}

std::optional<EncodedPicture> encoded_picture_of(const Json& entry) {
  if (!entry.is_object()) return std::nullopt;
  const std::string* digest = text_member(entry, "digest");
  const std::string* gif_digest = text_member(entry, "gif_digest");
  const Json* bytes = member(entry, "gif_bytes");
  const auto picture = digest ? read_digest_text(*digest) : std::nullopt;
  const auto gif = gif_digest ? read_digest_text(*gif_digest) : std::nullopt;
  if (!picture || !gif || bytes == nullptr || !bytes->is_number_unsigned() ||
      *bytes > max_gif_bytes) {
    return std::nullopt;
  }
  return EncodedPicture{*picture, *gif, bytes->get<std::uint64_t>()};
}

// The head of a record file, checked; nothing, with `*problem` saying why, when it is no head of
// a record of `day`.
std::optional<RecordHead> head_of_file(const Json& file, const Day& day, std::string* problem) {
  *problem = "not a day record of " + day.iso();
  if (!has_format(file, record_format) || !is_text(file, "date", day.iso())) return std::nullopt;
  RecordHead head;
  const Json* station = member(file, "station");
  if (station == nullptr) return std::nullopt;
  if (!station->is_null()) {
    head.station = station_of(*station, problem);
    if (!head.station) return std::nullopt;
  }
  const Json* forecast = member(file, "forecast_mhz");
  if (forecast == nullptr || !read_forecast(*forecast, head.forecast)) {
    *problem = "its forecast is not 24 values in MHz";
    return std::nullopt;
  }
  const auto figures = figures_in(file, "counts");
  if (!figures) {
    *problem = "its counts and figures are not sound";
    return std::nullopt;
  }
  head.figures = *figures;
  const std::string* digest = text_member(file, "measurements_digest");
  if (digest == nullptr || digest->size() != 16 ||
      digest->find_first_not_of("0123456789abcdef") != std::string::npos) {
    *problem = "it has no digest of its measurements before them";
    return std::nullopt;
  }
  head.digest = *digest;
  // A picture member that cannot be read only costs the next run an encoding.
  if (const Json* picture = member(file, "picture")) head.picture = encoded_picture_of(*picture);
  problem->clear();
  return head;
}

}  // namespace

std::string measurements_digest(std::span<const Measurement> measurements) {
  // Each measurement's minute, value (its bits, or none) and file name get a digest of their
  // own, and the digests are summed, so that the order of the measurements does not matter.
  std::uint64_t hash = 0;
  for (const Measurement& measurement : measurements) {
    Digest own;
    std::uint64_t value_bits = 0;
    if (measurement.value) std::memcpy(&value_bits, &*measurement.value, sizeof value_bits);
    own.add(static_cast<std::uint64_t>(measurement.minute_of_day()) << 1 |
            (measurement.value ? 1 : 0));
    own.add(value_bits);
    own.add_bytes(measurement.file);
    own.add(measurement.file.size());
    hash += own.value();
  }
  return digest_text(hash);
}

RecordHead head_of(const DayRecord& record) {
  return {record.station, record.forecast, figures_of(record), record.picture,
          measurements_digest(record.measurements)};
}

void add_figures(Json& object, const DayFigures& figures, std::string_view counts_key) {
  object[std::string(counts_key)] = counts_json(figures.with_value, figures.without_value);
  object["newest"] = newest_json(figures.newest);
  object["min_mhz"] = value_json(figures.min_mhz);
  object["max_mhz"] = value_json(figures.max_mhz);
  object["mean_deviation_percent"] = value_json(figures.mean_deviation_percent);
}

std::optional<DayFigures> figures_in(const Json& object, std::string_view counts_key) {
  DayFigures figures;
  const Json* counts = member(object, counts_key);
  const auto with_value =
      counts && counts->is_object() ? count_member(*counts, "with_value") : std::nullopt;
  const auto without_value =
      counts && counts->is_object() ? count_member(*counts, "without_value") : std::nullopt;
  if (!with_value || !without_value) return std::nullopt;
  figures.with_value = *with_value;
  figures.without_value = *without_value;
  bool sound = true;
  const Json* newest = member(object, "newest");
  if (newest == nullptr || !(newest->is_null() || newest->is_object())) return std::nullopt;
  if (newest->is_object()) {
    const std::string* time = text_member(*newest, "time");
    const auto minute = time ? read_time_of_day(*time) : std::nullopt;
    if (!minute) return std::nullopt;
    figures.newest = NewestMeasurement{*minute, number_or_null(*newest, "value_mhz", &sound),
                                       number_or_null(*newest, "forecast_mhz", &sound),
                                       number_or_null(*newest, "curve_mhz", &sound),
                                       number_or_null(*newest, "deviation_percent", &sound)};
  }
  figures.min_mhz = number_or_null(object, "min_mhz", &sound);
  figures.max_mhz = number_or_null(object, "max_mhz", &sound);
  figures.mean_deviation_percent = number_or_null(object, "mean_deviation_percent", &sound);
  if (!sound) return std::nullopt;
  return figures;
}

bool RecordedStation::is(const RecordedStation& other) const {
  return style == other.style && std::string_view(first_line).substr(0, 4) ==
                                     std::string_view(other.first_line).substr(0, 4);
}

bool DayRecord::same_figure(const DayRecord& other) const {
  return day == other.day && station == other.station && forecast == other.forecast &&
         measurements == other.measurements;
}

DayRecord make_day_record(const Day& day, std::optional<RecordedStation> station,
                          const ForecastValues& forecast, std::vector<Measurement> measurements,
                          std::string drawn_at, std::string program) {
  std::sort(measurements.begin(), measurements.end(),
            [](const Measurement& a, const Measurement& b) {
              return a.minute_of_day() < b.minute_of_day();
            });
  return {day,
          std::move(station),
          forecast,
          std::move(measurements),
          std::move(drawn_at),
          std::move(program),
          std::nullopt};
}

DayExtremes extremes_of(const DayRecord& record) {
  // Measurements are in time order: the first of equal values is the earliest.
  const Measurement* lowest = nullptr;
  const Measurement* highest = nullptr;
  for (const Measurement& measurement : record.measurements) {
    if (!measurement.value) continue;
    if (lowest == nullptr || *measurement.value < *lowest->value) lowest = &measurement;
    if (highest == nullptr || *measurement.value > *highest->value) highest = &measurement;
  }
  const auto value_of = [](const Measurement* measurement) -> std::optional<MeasuredValue> {
    if (measurement == nullptr) return std::nullopt;
    return MeasuredValue{measurement->minute_of_day(), mhz_of(*measurement->value)};
  };
  return {value_of(lowest), value_of(highest)};
}

Json measured_value_json(const std::optional<MeasuredValue>& value) {
  if (!value) return nullptr;
  Json entry(Json::value_t::object);
  entry["time"] = time_of_day_text(value->minute);
  entry["value_mhz"] = value->value_mhz;
  return entry;
}

DayFigures figures_of(const DayRecord& record) { return figures_of(record, extremes_of(record)); }

DayFigures figures_of(const DayRecord& record, const DayExtremes& extremes) {
  DayFigures figures;
  if (extremes.lowest) figures.min_mhz = extremes.lowest->value_mhz;
  if (extremes.highest) figures.max_mhz = extremes.highest->value_mhz;
  double deviations = 0;
  int deviation_count = 0;
  for (const Measurement& measurement : record.measurements) {
    ++(measurement.value ? figures.with_value : figures.without_value);
    if (const auto deviation = deviation_of(record.forecast, measurement)) {
      deviations += *deviation;
      ++deviation_count;
    }
  }
  if (deviation_count > 0)
    figures.mean_deviation_percent = rounded(deviations / deviation_count, 1);
  // Measurements are in time order: the newest is the last.
  if (!record.measurements.empty()) {
    const Measurement& last = record.measurements.back();
    NewestMeasurement newest;
    newest.minute = last.minute_of_day();
    if (last.value) newest.value_mhz = mhz_of(*last.value);
    if (const auto& forecast = record.forecast[static_cast<std::size_t>(last.hour)]) {
      newest.forecast_mhz = mhz_of(*forecast);
    }
    newest.curve_mhz = curve_mhz(record.forecast, newest.minute);
    if (const auto deviation = deviation_of(record.forecast, last)) {
      newest.deviation_percent = rounded(*deviation, 1);
    }
    figures.newest = newest;
  }
  return figures;
}

// These are built member by member, which costs a fraction of an initializer list: the run
// record and the year files hold many.
Json counts_json(int with_value, int without_value) {
  Json counts(Json::value_t::object);
  counts["with_value"] = with_value;
  counts["without_value"] = without_value;
  return counts;
}

Json newest_json(const std::optional<NewestMeasurement>& newest) {
  if (!newest) return nullptr;
  Json entry(Json::value_t::object);
  entry["time"] = time_of_day_text(newest->minute);
  entry["value_mhz"] = value_json(newest->value_mhz);
  entry["forecast_mhz"] = value_json(newest->forecast_mhz);
  entry["curve_mhz"] = value_json(newest->curve_mhz);
  entry["deviation_percent"] = value_json(newest->deviation_percent);
  return entry;
}

Json day_record_json(const DayRecord& record) {
  Json forecast = Json::array();
  for (const auto& hour : record.forecast) {
    forecast.push_back(hour ? Json(mhz_of(*hour)) : Json(nullptr));
  }
  Json measurements = Json::array();
  for (const Measurement& measurement : record.measurements) {
    measurements.push_back(measurement_json(measurement));
  }
  Json station = nullptr;
  if (record.station) {
    station = {{"first_line", record.station->first_line}, {"style", record.station->style}};
  }
  Json file = {{"format", record_format},
               {"version", json_format_version},
               {"date", record.day.iso()},
               {"station", std::move(station)},
               {"forecast_mhz", std::move(forecast)}};
  add_figures(file, figures_of(record), "counts");
  if (record.picture) file["picture"] = picture_json(*record.picture);
  file["measurements_digest"] = measurements_digest(record.measurements);
  file["measurements"] = std::move(measurements);
  file["drawn_at"] = record.drawn_at;
  file["program"] = record.program;
  return file;
}

std::optional<DayRecord> day_record_of(const Json& file, const Day& day, std::string* problem) {
  const auto head = head_of_file(file, day, problem);
  if (!head) return std::nullopt;
  DayRecord record;
  record.day = day;
  record.station = head->station;
  record.forecast = head->forecast;
  const Json* measurements = member(file, "measurements");
  if (measurements == nullptr || !measurements->is_array()) {
    *problem = "its measurements are not a list";
    return std::nullopt;
  }
  for (const Json& entry : *measurements) {
    auto measurement = measurement_of(entry);
    if (!measurement ||
        (!record.measurements.empty() &&
         measurement->minute_of_day() <= record.measurements.back().minute_of_day())) {
      *problem = "measurement " + std::to_string(record.measurements.size() + 1) +
                 " is no measurement of a later time";
      return std::nullopt;
    }
    record.measurements.push_back(std::move(*measurement));
  }
  if (measurements_digest(record.measurements) != head->digest) {
    *problem = "its digest is not that of its measurements";
    return std::nullopt;
  }
  if (head->figures != figures_of(record)) {
    *problem = "its counts and figures are not those of its measurements";
    return std::nullopt;
  }
  const std::string* drawn_at = text_member(file, "drawn_at");
  const std::string* program = text_member(file, "program");
  if (drawn_at == nullptr || program == nullptr) {
    *problem = "it does not say when and by what it was drawn";
    return std::nullopt;
  }
  record.drawn_at = *drawn_at;
  record.program = *program;
  record.picture = head->picture;
  problem->clear();
  return record;
}

DayRecordRead read_day_record(const std::string& path, const Day& day, Diagnostics& diagnostics) {
  JsonRead file = read_json_file(path);
  DayRecordRead read{file.status, std::nullopt, std::move(file.problem)};
  if (file.status == JsonRead::Status::read) {
    read.record = day_record_of(file.value, day, &read.problem);
    if (!read.record) read.status = JsonRead::Status::damaged;
  }
  if (read.status == JsonRead::Status::damaged) {
    diagnostics.warn("day record " + norvane::quoted(path) + " is damaged (" + read.problem +
                     "): taken as missing");
  }
  return read;
}

RecordHeadRead read_record_head(const std::string& path, const Day& day, Diagnostics& diagnostics) {
  JsonRead file = read_json_head(path, "measurements");
  RecordHeadRead read{file.status, std::nullopt};
  std::string problem = std::move(file.problem);
  if (file.status == JsonRead::Status::read) {
    read.head = head_of_file(file.value, day, &problem);
    if (!read.head) read.status = JsonRead::Status::damaged;
  }
  if (read.status == JsonRead::Status::damaged) {
    diagnostics.warn("day record " + norvane::quoted(path) + " is damaged (" + problem +
                     "): taken as missing");
  }
  return read;
}

std::string day_csv_text(const DayRecord& record) {
  std::string text = "time_ut,fof2_mhz,forecast_mhz\n";
  text.reserve(text.size() + record.measurements.size() * 32);
  const std::string date = record.day.iso();
  const auto add_fixed = [&text](double value, int decimals) {
    char field[64];
    const auto written =
        std::to_chars(field, field + sizeof field, value, std::chars_format::fixed, decimals);
    text.append(field, written.ptr);
  };
  for (const Measurement& measurement : record.measurements) {
    text += date;
    text += 'T';
    text += time_of_day_text(measurement.minute_of_day());
    text += "Z,";
    if (measurement.value) add_fixed(mhz_of(*measurement.value), 1);
    text += ',';
    if (const auto curve = forecast_curve_value(record.forecast, measurement.minute_of_day())) {
      add_fixed(rounded(mhz_of(*curve), 2), 2);  // the number the records give
    }
    text += '\n';
  }
  return text;
}

namespace {

// What is written over the record `existing` heads: `record`, unless `existing` is a record of an
// earlier version, of this very figure, that lacks only how its picture was encoded; then the
// record keeps when and by which version the figure was drawn.
DayRecord record_to_write(const ArchiveDayFiles& files, const DayRecord& record,
                          const RecordHead& head, const std::optional<RecordHead>& existing,
                          Diagnostics& diagnostics) {
  if (!existing || existing->picture || !head.picture) return record;
  RecordHead without_picture = head;
  without_picture.picture.reset();
  if (*existing != without_picture) return record;
  const DayRecordRead old = read_day_record(files.record, record.day, diagnostics);
  if (!old.record || !old.record->same_figure(record)) return record;
  DayRecord kept = record;
  kept.drawn_at = old.record->drawn_at;
  kept.program = old.record->program;
  return kept;
}

}  // namespace

RecordWrite keep_day_record(const ArchiveDayFiles& files, const DayRecord& record,
                            const std::optional<RecordHead>& existing, Diagnostics& diagnostics) {
  const RecordHead head = head_of(record);
  const bool same = existing && *existing == head;
  struct stat info {};
  const bool csv_there = ::lstat(files.csv.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  if (same && csv_there) return RecordWrite::unchanged;
  const std::string csv = day_csv_text(record);
  const auto csv_error = write_file_atomically(
      files.csv, std::span(reinterpret_cast<const unsigned char*>(csv.data()), csv.size()));
  report_write(csv_error, "day record CSV", files.csv, diagnostics);
  if (same) return csv_error ? RecordWrite::failed : RecordWrite::unchanged;
  // The record last: it says the picture and the CSV beside it are of what it records.
  const DayRecord written = record_to_write(files, record, head, existing, diagnostics);
  const auto error = write_json(files.record, day_record_json(written), -1);
  report_write(error, "day record", files.record, diagnostics);
  return error || csv_error ? RecordWrite::failed : RecordWrite::written;
}

}  // namespace norvane
