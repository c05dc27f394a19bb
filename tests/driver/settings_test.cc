// SPDX-License-Identifier: MIT
#include "driver/settings.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

struct SettingsRead {
  PlotState state;
  std::string messages;
  bool failed = false;
};

SettingsRead read_from(const std::string& current_dir) {
  SettingsRead result;
  std::ostringstream out;
  Diagnostics diagnostics(testing::into(out));
  read_settings(result.state, current_dir, diagnostics);
  result.messages = out.str();
  result.failed = diagnostics.failed();
  return result;
}

TEST(Settings, ReadsTheFoldersOfLinesTwoFourAndSixOnly) {
  testing::TempFolder work;
  for (const char* folder : {"fc", "obs", "www/pics"}) work.make_folder(folder);
  work.write("norvane_foF2.ini", "forecasts\r\nfc\\\r\nmeasurements\r\n" + work.path() +
                                     "obs/\r\npictures\r\nwww\\pics\\\r\nline 7 is ignored\r\n");
  // The working folder is given without its closing separator.
  const auto read = read_from(work.path().substr(0, work.path().size() - 1));
  EXPECT_EQ(read.state.work_dir, work.path());
  EXPECT_EQ(read.state.forecast_dir, work / "fc/");
  EXPECT_EQ(read.state.observation_dir, work / "obs/");  // an absolute folder stays as it is
  EXPECT_EQ(read.state.picture_dir, work / "www/pics/");
  EXPECT_EQ(read.messages, "");
  EXPECT_FALSE(read.failed);
}

TEST(Settings, UsesFolderLinesVerbatimWithLfLineEnds) {
  testing::TempFolder work;
  work.make_folder(" obs");
  work.write("norvane_foF2.ini", "\nfc\n\n obs/ \n\n\n");
  const auto read = read_from(work.path());
  EXPECT_EQ(read.state.forecast_dir, work / "fc");         // no separator added
  EXPECT_EQ(read.state.observation_dir, work / " obs/ ");  // nothing trimmed
  EXPECT_EQ(read.state.picture_dir, work.path());          // empty: the working folder
  EXPECT_FALSE(read.failed);
}

TEST(Settings, AShortFileLeavesTheMissingFoldersAtTheWorkingFolderAndFails) {
  testing::TempFolder work;
  work.make_folder("fc");
  work.make_folder("obs");
  work.write("norvane_foF2.ini", "a\r\nfc/\r\nb\r\nobs/\r\nc\r\n");
  const auto read = read_from(work.path());
  EXPECT_EQ(read.state.forecast_dir, work / "fc/");
  EXPECT_EQ(read.state.observation_dir, work / "obs/");
  EXPECT_EQ(read.state.picture_dir, work.path());
  EXPECT_TRUE(read.failed);
  EXPECT_EQ(read.messages, "norvane_foF2: settings file \"" + work.path() +
                               "norvane_foF2.ini\" has 5 lines, 6 needed; the folders of the "
                               "missing lines are taken as the working folder\n");
}

TEST(Settings, AMissingFileLeavesEveryFolderAtTheWorkingFolderAndFails) {
  testing::TempFolder work;
  const auto read = read_from(work.path());
  EXPECT_EQ(read.state.forecast_dir, work.path());
  EXPECT_EQ(read.state.observation_dir, work.path());
  EXPECT_EQ(read.state.picture_dir, work.path());
  EXPECT_TRUE(read.failed);
  EXPECT_EQ(read.messages, "norvane_foF2: cannot read settings file \"" + work.path() +
                               "norvane_foF2.ini\": No such file or directory; all folders are "
                               "taken as the working folder\n");
}

TEST(Settings, RefusesFolderLinesThatAreNotTextAndWarnsOfFolderLinesThatMisleadQuietly) {
  testing::TempFolder work;
  work.make_folder("fc");
  work.make_folder("www");
  work.write("norvane_foF2.ini", std::string("a\r\nfc\r\nb\r\nob\0s/\r\nc\r\nwww/ \r\n", 27));
  const auto read = read_from(work.path());
  const std::string settings =
      "norvane_foF2: settings file \"" + work.path() + "norvane_foF2.ini\"";
  EXPECT_EQ(read.messages,
            settings +
                " line 2 \"fc\" names a folder but does not end in \"/\": its files are "
                "named like \"" +
                work.path() + "fcgrafico1.bmp\"\n" + settings +
                " line 4 holds a control character: \"ob\\x00s/\"; nothing is read "
                "or written through that folder\n" +
                settings +
                " line 6 \"www/ \" begins or ends with a blank, which is part of the "
                "file names: \"" +
                work.path() + "www/ plotfoF21.gif\"\n");
  EXPECT_TRUE(read.failed);
  EXPECT_EQ(read.state.forecast_dir, work / "fc");
  EXPECT_EQ(read.state.forecast_dir_status, PlotState::FolderStatus::usable);
  EXPECT_EQ(read.state.observation_dir_status, PlotState::FolderStatus::refused);
  EXPECT_EQ(read.state.picture_dir_status, PlotState::FolderStatus::usable);

  // A folder that does not exist is called missing, with its line, and nothing else is said.
  work.write("norvane_foF2.ini", "a\nfc/\nb\nobs/\nc\nnowhere/\n");
  const auto missing = read_from(work.path());
  const std::string of_settings = " of settings file \"" + work.path() + "norvane_foF2.ini\"";
  EXPECT_EQ(missing.messages,
            "norvane_foF2: measurement folder \"" + work.path() + "obs/\"" + of_settings +
                " line 4 \"obs/\" is missing (archive pictures kept, or written where missing; "
                "days with a record drawn from it)\n"
                "norvane_foF2: picture folder \"" +
                work.path() + "nowhere/\"" + of_settings +
                " line 6 \"nowhere/\" is missing (no current pictures written)\n");
  EXPECT_EQ(missing.state.picture_dir_status, PlotState::FolderStatus::missing);
}

TEST(FolderValue, MapsBackslashesAndKeepsTheValueAsAPrefix) {
  EXPECT_EQ(folder_value("/w/", "C:\\fc"), "/w/C:/fc");
  EXPECT_EQ(folder_value("/w/", "\\\\server\\share\\"), "//server/share/");
  EXPECT_EQ(folder_value("/", ""), "/");
}

}  // namespace
}  // namespace norvane
