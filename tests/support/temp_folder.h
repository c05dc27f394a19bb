// SPDX-License-Identifier: MIT
// Tests work on real files in a fresh temporary folder, removed again at the end of the test.
#pragma once

#include <string>
#include <vector>

namespace norvane::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, ending in "/".
  const std::string& path() const { return path_; }
  // `relative` inside the folder.
  std::string operator/(const std::string& relative) const { return path_ + relative; }

  // Creates the folder `relative` and any missing parents.
  void make_folder(const std::string& relative) const;
  // Writes `content` to the file `relative`, creating its folder.
  void write(const std::string& relative, const std::string& content) const;
  bool exists(const std::string& relative) const;
  std::string read(const std::string& relative) const;
  // Names of all entries below `relative`, as paths relative to it, sorted.
  std::vector<std::string> list(const std::string& relative = "") const;

 private:
  std::string path_;
};

// Sets the modification time of the file or folder at `path` to `seconds_ago` seconds before
// now, as if it had last changed then.
void set_modified_ago(const std::string& path, int seconds_ago);

}  // namespace norvane::testing
