// SPDX-License-Identifier: MIT
#include "archive/json_file.h"

#include <cstdio>
#include <span>
#include <vector>

#include "util/input_file.h"

namespace norvane {
namespace {

std::string two_digits(long value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02ld", value % 100);
  return text;
}

std::string text_of(const Json& value, int indent) {
  // Station names come from the station's files and may hold any byte: a byte that is not
  // UTF-8 becomes U+FFFD rather than stopping the write.
  return value.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

// Writes `value` at `path`; `every_run` for a file rewritten by each run, which then takes the
// way that frees no disk blocks (util/file_write.h).
std::optional<FileError> write_json(const std::string& path, const Json& value, int indent,
                                    bool every_run) {
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
         is_number(file, "version", json_format_version);
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

void report_write(const std::optional<FileError>& error, std::string_view what,
                  const std::string& path, Diagnostics& diagnostics) {
  if (error) {
    diagnostics.fail("cannot write " + std::string(what) + " " + norvane::quoted(path) + ": " +
                     error->reason);
  }
}

}  // namespace norvane
