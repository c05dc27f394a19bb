// SPDX-License-Identifier: MIT
// An archive picture is the station's record of its day, and the day's measurement files may
// later be thinned by a clean-up job, emptied during an upload or removed. So each picture the
// program writes says how many measurement files it was drawn from, with and without a value,
// and a run compares that with what the folder holds now before it replaces the picture
// (archive/archive_rule.h). The record is a comment inside the GIF itself:
//
//   norvane_foF2 archive record 1: 96 measurement files with a value, 3 without
//
// so that it is written in the same rename as the picture, and a copied or restored archive
// folder keeps it. A picture without a sound record (one from an older program, or damaged) is
// treated as having none.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norvane {

struct ArchiveRecord {
  int files_with_value = 0;
  int files_without_value = 0;
  int files() const { return files_with_value + files_without_value; }
  bool operator==(const ArchiveRecord&) const = default;
};

// The comment text of `record`.
std::string archive_record_text(const ArchiveRecord& record);

// The record that a comment text holds, if it is one.
std::optional<ArchiveRecord> read_archive_record_text(std::string_view text);

// The record carried by the GIF in `gif`, if any.
std::optional<ArchiveRecord> read_archive_record(std::span<const unsigned char> gif);

// The record carried by the picture file at `path`: nothing when there is no regular file
// there, it cannot be read, or it carries no sound record.
std::optional<ArchiveRecord> read_archive_record_file(const std::string& path);

}  // namespace norvane
