// SPDX-License-Identifier: MIT
// The archive's JSON files, which other programs, a restore or an attacker may have written: the
// input as a day record (its head alone and whole) and as a year file of an archive whose index
// is made again from it.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/archive_index.h"
#include "archive/day_record.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace norvane;
  static const std::string folder = [] {
    const std::string archive = fuzz::scratch_folder() + "archive/";
    if (::mkdir(archive.c_str(), 0700) != 0) std::abort();
    fuzz::write_file(archive + "2026339.gif", "GIF89a");
    return archive;
  }();
  const Day day = *Day::of_year_and_day(2026, 339);
  Diagnostics diagnostics(fuzz::drop_message);

  const std::string record = folder + "2026339.json";
  fuzz::write_file(record, std::span(data, size));
  const RecordHeadRead head = read_record_head(record, day, diagnostics);
  const DayRecordRead whole = read_day_record(record, day, diagnostics);
  // A sound record has a sound head, which is the whole record's, and gives its CSV.
  if (whole.record) {
    if (!head.head || *head.head != head_of(*whole.record)) std::abort();
    day_csv_text(*whole.record);
  }

  fuzz::write_file(folder + "2026.json", std::span(data, size));
  update_archive_index(folder, {}, {}, false, diagnostics);
  return 0;
}
