// SPDX-License-Identifier: MIT
#include "support/temp_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace norvane::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "norvane_test_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Tests may take permissions away; give them back so that everything can be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

void TempFolder::make_folder(const std::string& relative) const {
  fs::create_directories(path_ + relative);
}

void TempFolder::write(const std::string& relative, const std::string& content) const {
  const fs::path file = path_ + relative;
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

bool TempFolder::exists(const std::string& relative) const {
  return fs::exists(fs::symlink_status(path_ + relative));
}

std::string TempFolder::read(const std::string& relative) const {
  std::ifstream in(path_ + relative, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + relative);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> TempFolder::list(const std::string& relative) const {
  std::vector<std::string> names;
  const fs::path base = path_ + relative;
  for (const auto& entry : fs::recursive_directory_iterator(base)) {
    names.push_back(fs::relative(entry.path(), base).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void set_modified_ago(const std::string& path, int seconds_ago) {
  timespec times[2]{};
  if (::clock_gettime(CLOCK_REALTIME, &times[0]) != 0) throw std::runtime_error("clock_gettime");
  times[0].tv_sec -= seconds_ago;
  times[1] = times[0];
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    throw std::runtime_error("cannot set the time of " + path);
  }
}

}  // namespace norvane::testing
