#include "util/file_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(RemoveFile, ReportsWhyAFileCouldNotBeRemoved) {
  testing::TempFolder folder;
  folder.write("a.bmp", "x");
  EXPECT_EQ(remove_file(folder / "a.bmp"), std::nullopt);
  EXPECT_FALSE(folder.exists("a.bmp"));
  const auto error = remove_file(folder / "a.bmp");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->reason, "No such file or directory");
}

}  // namespace
}  // namespace norvane
