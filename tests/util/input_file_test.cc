// SPDX-License-Identifier: MIT
#include "util/input_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "util/file_write.h"

using namespace std::string_literals;

namespace norvane {
namespace {

std::vector<std::string> all_lines(const std::string& path) {
  int error = 0;
  auto file = InputFile::open(path, &error);
  EXPECT_TRUE(file) << error;
  std::vector<std::string> lines;
  std::string line;
  while (file && file->read_line(line)) lines.push_back(line);
  return lines;
}

TEST(InputFile, ReadsLinesEndingInCrLfOrLf) {
  testing::TempFolder folder;
  folder.write("mixed.txt", "one\r\ntwo\nthree\r\n\r\nlast without end");
  EXPECT_EQ(all_lines(folder / "mixed.txt"),
            (std::vector<std::string>{"one", "two", "three", "", "last without end"}));
  folder.write("empty.txt", "");
  EXPECT_TRUE(all_lines(folder / "empty.txt").empty());
}

TEST(InputFile, CutsOverlongLinesAndSkipsTheirRest) {
  testing::TempFolder folder;
  const std::string exact(InputFile::max_line_bytes, 'a');
  const std::string too_long(3 * InputFile::max_line_bytes + 17, 'b');
  folder.write("long.txt", exact + "\r\n" + too_long + "\r\nnext\n");
  const auto lines = all_lines(folder / "long.txt");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], exact);
  EXPECT_EQ(lines[1], std::string(InputFile::max_line_bytes, 'b'));
  EXPECT_EQ(lines[2], "next");
}

TEST(InputFile, OpensOnlyRegularFiles) {
  testing::TempFolder folder;
  int error = 0;
  EXPECT_FALSE(InputFile::open(folder / "missing.txt", &error));
  EXPECT_EQ(error, ENOENT);

  folder.make_folder("a_folder");
  EXPECT_FALSE(InputFile::open(folder / "a_folder", &error));
  EXPECT_EQ(error, EISDIR);

  // A FIFO would block a plain open until a writer came: it is refused at once.
  ASSERT_EQ(::mkfifo((folder / "a_fifo").c_str(), 0600), 0);
  EXPECT_FALSE(InputFile::open(folder / "a_fifo", &error));
  EXPECT_EQ(error, not_a_regular_file);
  EXPECT_EQ(error_text(error), "not a regular file");
  EXPECT_FALSE(InputFile::open("/dev/null", &error));
  EXPECT_EQ(error_text(error), "not a regular file");
}

TEST(InputFile, ReadsAWholeFileAfterLines) {
  testing::TempFolder folder;
  folder.write("data", "head\nrest\0of it"s);
  int error = 0;
  auto file = InputFile::open(folder / "data", &error);
  ASSERT_TRUE(file);
  std::string line;
  ASSERT_TRUE(file->read_line(line));
  std::vector<unsigned char> rest;
  ASSERT_TRUE(file->read_all(rest));
  EXPECT_EQ(std::string(rest.begin(), rest.end()), "rest\0of it"s);
}

TEST(InputFile, ReadsNoFurtherThanItsLimitWhateverTheFilesSize) {
  testing::TempFolder folder;
  folder.write("long", "one\ntwo\n" + std::string(5000, 'x'));
  folder.write("exact", "one\ntwo\nxxxxxxxx");
  for (const char* name : {"long", "exact"}) {
    int error = 0;
    auto file = InputFile::open(folder / name, &error);
    ASSERT_TRUE(file);
    file->limit_reading(16);
    std::vector<std::string> lines;
    std::string line;
    while (file->read_line(line)) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "xxxxxxxx"})) << name;
    // Cut only where the file goes on.
    EXPECT_EQ(file->line_cut_at_limit(), std::string(name) == "long") << name;
  }
  int error = 0;
  auto file = InputFile::open(folder / "long", &error);
  ASSERT_TRUE(file);
  std::vector<unsigned char> bytes;
  EXPECT_FALSE(file->read_all(bytes, 100));
  EXPECT_EQ(file->read_error(), EFBIG);
  EXPECT_LE(bytes.size(), 101u);
}

}  // namespace
}  // namespace norvane
