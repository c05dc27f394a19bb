// SPDX-License-Identifier: MIT
// The archive index tells other programs (the page, scripts) what the archive holds without
// their listing the folder or reading every record: index.json (the years that have pictures,
// the first and the last day) and one file a year, <yyyy>.json, with an entry for each day that
// has a picture, made from the day's record: its counts, its newest measurement, its lowest and
// highest value and how far its values lie from the forecast on average (a picture without a
// record, drawn by an older version, has an entry with its date and name alone). Each file
// names its format and version, and is written as the pictures are. docs/files.md describes
// them.
//
// The index must agree with the records, and a run must not read a year of records to find out
// whether it does. So each time the index has been brought up to date, it is sealed: index.json
// gets the archive folder's modification time. While the two times agree, no name in the folder
// has come, gone or been replaced since, and a run updates only the entries of the days it wrote.
// A run killed between a record and its index, a restore, a clean-up or a backfill changes the
// folder's time, and the next run checks every year file against the records (by their times,
// reading the heads of only the records newer than their year file or without their entry) and
// rebuilds what
// does not agree. Each run also checks the year files of its days against those days' records'
// times, which finds a year file copied back in place. A year file or index.json that is damaged
// (archive/json_file.h) is a warning, and made again from the records.
#pragma once

#include <span>
#include <string>

#include "state/day.h"
#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

// Whether the index of the archive folder `archive_dir` (ending in "/") is sealed: nothing has
// changed in the folder since it was last brought up to date. Asked under the run lock, before
// the run writes anything there.
bool archive_index_sealed(const std::string& archive_dir);

// Brings the index of `archive_dir` up to date with the records and seals it: `drawn` are the
// days a run drew, `changed` those whose picture or record it wrote, and `sealed` what
// archive_index_sealed said before it wrote anything; when that is false (a backfill, which lets
// other runs have the lock between days, always passes false) every year is checked against its
// records. Failures are reported to `diagnostics`; a folder that is missing was reported by the
// pictures' failures. Returns the archive's range as the index now tells it (read from index.json
// when nothing had to be written, made again when that file cannot be read), for the run record;
// none when it could not be told.
std::optional<ArchiveRange> update_archive_index(const std::string& archive_dir,
                                                 std::span<const Day> drawn,
                                                 std::span<const Day> changed, bool sealed,
                                                 Diagnostics& diagnostics);

}  // namespace norvane
