// SPDX-License-Identifier: MIT
// The files that tell other programs what the program drew (the run record, the archive's day
// records and index) are JSON, written and read through nlohmann-json in one way: members in
// the order written, so that the files read as documented; bytes of a station's files that are
// not UTF-8 replaced rather than stopping the write; each file naming its format and version;
// written as the pictures are, through a temporary file and a rename.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "util/diagnostics.h"
#include "util/file_write.h"

namespace norvane {

using Json = nlohmann::ordered_json;

inline constexpr int json_format_version = 1;

// Writes `value` at `path`; `every_run` for a file rewritten by each run, which then takes the
// way that frees no disk blocks (util/file_write.h).
std::optional<FileError> write_json(const std::string& path, const Json& value, int indent,
                                    bool every_run = false);

// The archive's JSON files are read as outside input: another program, a restore or an attacker
// on the same machine may have put anything there. So a file is read only up to a size that no
// file of the program's comes near, and only as deep, and its objects only as wide, as its
// format could go and a little more; beyond that, or not valid JSON, it is damaged, and its
// reader builds it anew or does without it. Reading stops at the first fault, so no file costs
// more than reading it once.
inline constexpr std::size_t max_json_bytes = 4 << 20;
inline constexpr int max_json_depth = 8;
inline constexpr std::size_t max_json_members = 64;

struct JsonRead {
  enum class Status { read, missing, damaged };
  Status status = Status::missing;
  Json value;           // when read
  std::string problem;  // when damaged: why, for the operator ("nested more than 8 levels deep")
};

// Reads the JSON file at `path`: missing when there is no file of that name, damaged when it
// cannot be read, is no regular file, is larger than `max_bytes`, goes deeper than
// max_json_depth, has an object of more than max_json_members members, or is not valid JSON.
JsonRead read_json_file(const std::string& path, std::size_t max_bytes = max_json_bytes);

// As read_json_file, for a file that is an object whose members before `stop_key` are all that
// is wanted: its value holds those members, and reading stops there. A file without that member
// is read whole.
JsonRead read_json_head(const std::string& path, std::string_view stop_key);

bool is_text(const Json& object, std::string_view key, std::string_view expected);
bool is_number(const Json& object, std::string_view key, int expected);
// Whether `file` is an object naming `format` and this version.
bool has_format(const Json& file, std::string_view format);

// Reports a failed write of `what` at `path`.
void report_write(const std::optional<FileError>& error, std::string_view what,
                  const std::string& path, Diagnostics& diagnostics);

}  // namespace norvane
