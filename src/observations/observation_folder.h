// SPDX-License-Identifier: MIT
// The measurement folder can hold years of files and is looked at again for each day, so that a
// change of its contents takes effect at the next day. One pass over its listing finds both the
// file that tells the station and the files that can be files of the run's days; a day then
// opens only the files that exist, instead of trying the 1,440 names of its minutes one by one.
// While the folder does not change, the next day uses the same listing: a run lists a folder
// that nobody writes to once, and one that a station writes to again after each change.
//
// The listing's own order is arbitrary, so the station is told by the first ordinary file in
// byte-wise name order. Hidden files (names beginning with "."), folders and anything else that
// is not a regular file never tell the station, and neither do the program's own files, which
// stand in the measurement folder when a settings file names one folder for everything
// (state/file_names.h).
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/input_file.h"

namespace norvane {

class ObservationFolder {
 public:
  // Lists the folder of `observation_dir`, noting the files whose names begin with one of
  // `day_stems` or `later_stems` (the stems of the days drawn after, which a run looks at before
  // it draws the first), letters compared without regard to case. The folder value is a prefix
  // of the file names: when it does not end in "/", its last part begins the names of the
  // files, which are then found in the folder above it.
  static ObservationFolder list(const std::string& observation_dir,
                                std::span<const std::string> day_stems,
                                std::span<const std::string> later_stems = {});

  // Whether the listing still shows the folder as it is: the folder at that path is the one
  // listed and has not changed since. A folder changed within about two seconds before it was
  // listed never counts as unchanged, since a change in the same tick of the file system's
  // clock would not show in its modification time.
  bool unchanged() const;

  // Why the folder could not be listed (an errno value), 0 when it could.
  int list_error() const { return list_error_; }
  // The first ordinary, non-hidden file, as a name to put after observation_dir.
  const std::optional<std::string>& first_file() const { return first_file_; }
  // How many non-hidden entries the listing showed that are files, links or of a type the
  // listing does not tell (counted without a closer look, which would cost a call each).
  std::size_t file_count() const { return file_count_; }

  // Whether `day_stem` was one of the stems listed for, letters compared without regard to case.
  bool listed_for(std::string_view day_stem) const;

  // Calls visit(rest, exact) for each file the listing showed whose name begins with `day_stem`
  // (one of the stems listed for), in no particular order: `rest` is what follows the stem, in
  // upper case, and `exact` tells whether the name was listed in upper case, as every station's
  // names are written, and as a regular file.
  template <typename Visit>
  void for_each_day_file(std::string_view day_stem, Visit visit) const {
    const auto stem = stem_index(day_stem);
    if (!stem) return;
    const std::string& files = files_by_stem_[*stem];
    for (std::size_t at = 0; at + 2 <= files.size();) {
      const bool exact = files[at] != 0;
      const auto length = static_cast<unsigned char>(files[at + 1]);
      visit(std::string_view(files).substr(at + 2, length), exact);
      at += 2 + length;
    }
  }

  // Opens the file of the day named exactly `name` (to put after observation_dir), in the folder
  // listed. `listed_regular` tells that the listing showed that very name as a regular file,
  // which spares a check of its type.
  std::optional<InputFile> open_day_file(std::string_view name, bool listed_regular,
                                         int* error) const;

 private:
  // Where `day_stem` is in upper_stems_, letters compared without regard to case.
  std::optional<std::size_t> stem_index(std::string_view day_stem) const;
  // The stem that `name` (as listed) begins with, letters compared without regard to case.
  std::optional<std::size_t> stem_of(std::string_view name) const;

  int list_error_ = 0;
  std::optional<std::string> first_file_;
  std::size_t file_count_ = 0;

  // The stems in upper case, their lengths, and for each the files that begin with it. A year of
  // a station's files is some 175,000 names, so a file is kept as little more than the part of
  // its name after its stem: a byte that is not 0 when the name was listed in upper case as a
  // regular file, a byte with the length of the rest, and the rest in upper case.
  std::vector<std::string> upper_stems_;
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> stem_by_text_;
  // For each length of stem, a bit for each stem of that length at the place of its last three
  // characters, and one at a place its whole text gives: a year of a station's names is mostly
  // other days', and these tell nearly all of them apart, the first at the cost of three
  // characters, before a name's start is looked up.
  struct StemLength {
    std::size_t length = 0;
    std::vector<std::uint64_t> endings = std::vector<std::uint64_t>(65536 / 64);
    std::vector<std::uint64_t> marks = std::vector<std::uint64_t>(65536 / 64);
  };
  std::vector<StemLength> stem_lengths_;
  std::vector<std::string> files_by_stem_;
  // What identifies the listed folder and its state when it was listed; `reusable_` is false
  // when that state cannot vouch for an unchanged folder.
  std::string listed_path_;
  struct stat listed_status_ {};
  bool reusable_ = false;
  // The listed folder, kept open to open the day's files in, and what begins their names there.
  std::unique_ptr<DIR, int (*)(DIR*)> directory_{nullptr, &::closedir};
  std::string name_prefix_;
};

// `text` with ASCII letters in upper case. Names are looked up this way, and the file is then
// opened by its exact name: on a file system that ignores case (a station's Windows share, say)
// the open finds it whatever its case, and elsewhere only a name of the exact case opens.
std::string upper_ascii(std::string_view text);

}  // namespace norvane
