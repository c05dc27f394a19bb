// SPDX-License-Identifier: MIT
#include "util/file_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace norvane {
namespace {

std::vector<unsigned char> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

TEST(WriteFileAtomically, ReplacesTheFileAndLeavesNothingElse) {
  testing::TempFolder folder;
  folder.write("out/picture.gif", "old picture");
  EXPECT_EQ(write_file_atomically(folder / "out/picture.gif", bytes_of("new picture")),
            std::nullopt);
  EXPECT_EQ(folder.read("out/picture.gif"), "new picture");
  EXPECT_EQ(folder.list("out"), std::vector<std::string>{"picture.gif"});

  // The file is created with the permissions the umask allows, readable by a web server.
  struct stat info {};
  ASSERT_EQ(::stat((folder / "out/picture.gif").c_str(), &info), 0);
  EXPECT_EQ(
      info.st_mode & 0777, 0666 & ~[] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
      }());
}

TEST(WriteFileByTurns, ReplacesTheFileWithoutFreeingItsPredecessorOrMovingAReadersFile) {
  testing::TempFolder folder;
  name_temporary_files_after("w");
  const std::string path = folder / "www/plotfoF2.json";
  folder.write("www/plotfoF2.json", "an older program's record");
  std::vector<std::string> seen;
  for (const std::string text : {"run 1", "run 2, longer", "run 3"}) {
    // A reader that opened the file before the write still reads what it opened.
    const int reader = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(write_file_by_turns(path, bytes_of(text)), std::nullopt);
    char buffer[64] = {};
    seen.emplace_back(buffer, static_cast<std::size_t>(::pread(reader, buffer, sizeof buffer, 0)));
    ::close(reader);
    EXPECT_EQ(folder.read("www/plotfoF2.json"), text);
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{"an older program's record", "run 1", "run 2, longer"}));
  // The two turns stay, one of them the file itself; nothing else is left.
  EXPECT_EQ(folder.list("www"), (std::vector<std::string>{".plotfoF2.json.w.1",
                                                          ".plotfoF2.json.w.2", "plotfoF2.json"}));
  struct stat file {};
  struct stat first {};
  ASSERT_EQ(::stat(path.c_str(), &file), 0);
  ASSERT_EQ(::stat((folder / "www/.plotfoF2.json.w.1").c_str(), &first), 0);
  EXPECT_EQ(file.st_ino, first.st_ino);
  EXPECT_EQ(file.st_nlink, 2u);
}

int refuse(int, off_t) {
  errno = EPERM;
  return -1;
}
int refuse(const char*, const char*) {
  errno = EPERM;
  return -1;
}
int rename_but_not_over(const char* from, const char* to) {
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

TEST(WriteFileByTurns, WritesTheFileWholeWhereTheFileSystemRefusesWhatTurnsNeed) {
  // As a FAT file system through FUSE refuses hard links, or truncating an open file, and as
  // some refuse renaming over a file: each time the file is written whole, and no file but it
  // (and where links work, its turns) is left.
  const FileSystemCalls refusals[] = {{refuse, ::link, std::rename},
                                      {::ftruncate, refuse, std::rename},
                                      {::ftruncate, ::link, rename_but_not_over}};
  for (const FileSystemCalls& calls : refusals) {
    testing::TempFolder folder;
    name_temporary_files_after("w");
    use_file_system_calls(calls);
    folder.write("www/plotfoF2.json", "an older program's record");
    for (const std::string text : {"run 1", "run 2, longer", "run 3"}) {
      EXPECT_EQ(write_file_by_turns(folder / "www/plotfoF2.json", bytes_of(text)), std::nullopt);
      EXPECT_EQ(folder.read("www/plotfoF2.json"), text);
    }
    EXPECT_EQ(write_file_atomically(folder / "www/picture.gif", bytes_of("new")), std::nullopt);
    EXPECT_EQ(write_file_atomically(folder / "www/picture.gif", bytes_of("newer")), std::nullopt);
    EXPECT_EQ(folder.read("www/picture.gif"), "newer");
    std::vector<std::string> expected{"picture.gif", "plotfoF2.json"};
    if (&calls == &refusals[2]) {
      expected.insert(expected.begin(), {".plotfoF2.json.w.1", ".plotfoF2.json.w.2"});
    }
    EXPECT_EQ(folder.list("www"), expected);
  }
  use_file_system_calls({::ftruncate, ::link, std::rename});
}

TEST(WriteFileAtomically, AMissingFolderIsTheFoldersFault) {
  testing::TempFolder folder;
  const auto error = write_file_atomically(folder / "missing/picture.gif", bytes_of("x"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->scope, FileError::Scope::folder);
  EXPECT_EQ(error->path, folder / "missing/");
  EXPECT_EQ(error->reason, "No such file or directory");
}

TEST(WriteFileAtomically, AFailedRenameKeepsTheOldContentAndRemovesTheTemporary) {
  testing::TempFolder folder;
  // A folder that is not empty cannot be replaced by a file.
  folder.write("out/picture.gif/keep", "old");
  const auto error = write_file_atomically(folder / "out/picture.gif", bytes_of("new"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->scope, FileError::Scope::file);
  EXPECT_EQ(error->path, folder / "out/picture.gif");
  EXPECT_EQ(folder.read("out/picture.gif/keep"), "old");
  EXPECT_EQ(folder.list("out"), (std::vector<std::string>{"picture.gif", "picture.gif/keep"}));
}

struct stat status_of(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info;
}

TEST(UpdateFileAtomically, KeepsAFileThatHoldsTheBytesAndReplacesAnyOther) {
  testing::TempFolder folder;
  const std::string path = folder / "picture.gif";
  folder.write("picture.gif", "same picture");
  // An old time, so that the renewal shows.
  const timespec long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), long_ago, 0), 0);
  const struct stat before = status_of(path);

  EXPECT_EQ(update_file_atomically(path, bytes_of("same picture")), std::nullopt);
  const struct stat kept = status_of(path);
  EXPECT_EQ(kept.st_ino, before.st_ino);
  EXPECT_GT(kept.st_mtim.tv_sec, long_ago[1].tv_sec);
  EXPECT_EQ(folder.list(), std::vector<std::string>{"picture.gif"});

  // Same size, other bytes; then a longer and a shorter content: each is a new file.
  for (const std::string content : {"SAME picture", "same picture, more", "same"}) {
    const ino_t old_inode = status_of(path).st_ino;
    EXPECT_EQ(update_file_atomically(path, bytes_of(content)), std::nullopt);
    EXPECT_EQ(folder.read("picture.gif"), content);
    EXPECT_NE(status_of(path).st_ino, old_inode) << content;
  }

  // A link holding the same bytes is replaced by a file, and its target is left alone.
  folder.write("elsewhere.gif", "linked");
  ASSERT_EQ(::symlink((folder / "elsewhere.gif").c_str(), (folder / "link.gif").c_str()), 0);
  EXPECT_EQ(update_file_atomically(folder / "link.gif", bytes_of("linked")), std::nullopt);
  EXPECT_TRUE(S_ISREG(status_of(folder / "link.gif").st_mode));
  EXPECT_EQ(folder.read("link.gif"), "linked");

  // A missing file is written as write_file_atomically writes it.
  EXPECT_EQ(update_file_atomically(folder / "new.gif", bytes_of("new")), std::nullopt);
  EXPECT_EQ(folder.read("new.gif"), "new");
  const auto error = update_file_atomically(folder / "missing/new.gif", bytes_of("new"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->scope, FileError::Scope::folder);
}

TEST(RemoveFile, ReportsWhyAFileCouldNotBeRemovedButNotThatItIsGone) {
  testing::TempFolder folder;
  folder.write("a.bmp", "x");
  EXPECT_EQ(remove_file(folder / "a.bmp"), std::nullopt);
  EXPECT_FALSE(folder.exists("a.bmp"));
  EXPECT_EQ(remove_file(folder / "a.bmp"), std::nullopt);
  folder.write("full/b.bmp", "x");  // a folder is not removed as a file
  const auto error = remove_file(folder / "full");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "Is a directory");
}

}  // namespace
}  // namespace norvane
