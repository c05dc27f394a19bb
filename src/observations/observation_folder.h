// The measurement folder can hold years of files and is looked at again for each day, so that a
// change of its contents takes effect at the next day. One pass over its listing finds both the
// file that tells the station and the names that can be files of the day; a day then opens only
// the files that exist, instead of trying the 1,440 names of its minutes one by one.
//
// The listing's own order is arbitrary, so the station is told by the first ordinary file in
// byte-wise name order. Hidden files (names beginning with "."), folders and anything else that
// is not a regular file never tell the station.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

struct ObservationFolder {
  // Why the folder could not be listed (an errno value), 0 when it could.
  int list_error = 0;
  // The first ordinary, non-hidden file, as a name to put after observation_dir.
  std::optional<std::string> first_file;
  // The names, to put after observation_dir, that begin with one of the day's stems, letters
  // compared without regard to case, in upper case (see upper_ascii).
  std::vector<std::string> day_names;
};

// Lists the folder of `observation_dir`. The folder value is a prefix of the file names: when it
// does not end in "/", its last part begins the names of the files, which are then found in the
// folder above it.
ObservationFolder list_observation_folder(const std::string& observation_dir,
                                          std::span<const std::string> day_stems);

// `text` with ASCII letters in upper case. Names are looked up this way, and the file is then
// opened by its exact name: on a file system that ignores case (a station's Windows share, say)
// the open finds it whatever its case, and elsewhere only a name of the exact case opens.
std::string upper_ascii(std::string_view text);

}  // namespace norvane
