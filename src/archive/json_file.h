// SPDX-License-Identifier: MIT
// The files that tell other programs what the program drew (the run record, the archive's day
// records and index) are JSON, written and read through nlohmann-json in one way: members in
// the order written, so that the files read as documented; bytes of a station's files that are
// not UTF-8 replaced rather than stopping the write; each file naming its format and version;
// written as the pictures are, through a temporary file and a rename.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "state/run_summary.h"
#include "util/diagnostics.h"
#include "util/file_write.h"

namespace norvane {

using Json = nlohmann::ordered_json;

inline constexpr int json_format_version = 1;

// Writes `value` at `path`; `every_run` for a file rewritten by each run, which then takes the
// way that frees no disk blocks (util/file_write.h).
std::optional<FileError> write_json(const std::string& path, const Json& value, int indent,
                                    bool every_run = false);

// The JSON in the file at `path`; nothing when the file is missing, unreadable or no JSON.
std::optional<Json> read_json(const std::string& path);

bool is_text(const Json& object, std::string_view key, std::string_view expected);
bool is_number(const Json& object, std::string_view key, int expected);
// Whether `file` is an object naming `format` and this version.
bool has_format(const Json& file, std::string_view format);

// The counts and the newest measurement of a day, as the run record and the year files give them.
Json measurements_of(const DaySummary& day);
Json newest_of(const DaySummary& day);

// Reports a failed write of `what` at `path`.
void report_write(const std::optional<FileError>& error, std::string_view what,
                  const std::string& path, Diagnostics& diagnostics);

}  // namespace norvane
