#include "driver/run.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/gif_picture.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;

struct RunResult {
  ExitStatus status;
  std::string messages;
};

RunResult run_in(const testing::TempFolder& work, year_month_day today) {
  std::ostringstream messages;
  const ExitStatus status = run({work.path(), today, messages});
  return {status, messages.str()};
}

void write_settings(const testing::TempFolder& work) {
  work.write("norvane_foF2.ini",
             "forecasts\r\nfc\\\r\nmeasurements\r\nobs\\\r\npictures\r\nwww\\\r\n");
}

TEST(Run, WritesSixCurrentAndSixArchivePicturesQuietly) {
  testing::TempFolder work;
  write_settings(work);
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("obs");
  work.make_folder("www");

  const RunResult result = run_in(work, 2025y / January / 3d);
  EXPECT_EQ(result.status, ExitStatus::success);
  EXPECT_EQ(result.messages, "");
  EXPECT_EQ(work.list("www"),
            (std::vector<std::string>{"plotfoF21.gif", "plotfoF22.gif", "plotfoF23.gif",
                                      "plotfoF24.gif", "plotfoF25.gif", "plotfoF26.gif"}));
  EXPECT_EQ(work.list("fc"),
            (std::vector<std::string>{
                "previous_foF2_plots", "previous_foF2_plots/2024364.gif",
                "previous_foF2_plots/2024365.gif", "previous_foF2_plots/2024366.gif",
                "previous_foF2_plots/2025001.gif", "previous_foF2_plots/2025002.gif",
                "previous_foF2_plots/2025003.gif"}));
  // The archive picture of a day is the same figure as its current picture; days differ only
  // by their date line.
  const auto first = testing::Picture::load(work / "www/plotfoF21.gif");
  EXPECT_EQ(testing::Picture::load(work / "fc/previous_foF2_plots/2024364.gif"), first);
  EXPECT_EQ(testing::Picture::load(work / "fc/previous_foF2_plots/2025003.gif"),
            testing::Picture::load(work / "www/plotfoF26.gif"));
  EXPECT_NE(testing::Picture::load(work / "www/plotfoF26.gif"), first);
}

TEST(Run, NextDayOverwritesTheCurrentPicturesAndAddsOneArchivePicture) {
  testing::TempFolder work;
  write_settings(work);
  work.make_folder("fc/previous_foF2_plots");
  work.make_folder("www");
  ASSERT_EQ(run_in(work, 2026y / December / 8d).status, ExitStatus::success);
  const auto today_before = testing::Picture::load(work / "www/plotfoF26.gif");
  ASSERT_EQ(run_in(work, 2026y / December / 9d).status, ExitStatus::success);
  EXPECT_EQ(work.list("fc/previous_foF2_plots").size(), 7u);
  EXPECT_EQ(testing::Picture::load(work / "www/plotfoF25.gif"), today_before);
  EXPECT_EQ(testing::Picture::load(work / "fc/previous_foF2_plots/2026343.gif"),
            testing::Picture::load(work / "www/plotfoF26.gif"));
}

TEST(Run, WithoutSettingsEverythingIsInTheWorkingFolderAndTheRunFails) {
  testing::TempFolder work;
  const RunResult result = run_in(work, 2024y / March / 7d);
  EXPECT_EQ(result.status, ExitStatus::failure);
  // Six passes were made: the current pictures are written, the archive folder is missing, so
  // each day's BMP stays behind. Each cause is reported once.
  EXPECT_EQ(work.list(), (std::vector<std::string>{
                             "grafico1.bmp", "grafico2.bmp", "grafico3.bmp", "grafico4.bmp",
                             "grafico5.bmp", "grafico6.bmp", "plotfoF21.gif", "plotfoF22.gif",
                             "plotfoF23.gif", "plotfoF24.gif", "plotfoF25.gif", "plotfoF26.gif"}));
  EXPECT_EQ(result.messages,
            "norvane_foF2: cannot read settings file \"" + work.path() +
                "norvane_foF2.ini\": No such file or directory; all folders are taken as the "
                "working folder\n"
                "norvane_foF2: cannot write archive pictures in folder \"" +
                work.path() + "previous_foF2_plots/\": No such file or directory\n");
}

TEST(Run, AMissingPictureFolderIsReportedOnceAndEveryDayIsStillTried) {
  testing::TempFolder work;
  write_settings(work);
  work.make_folder("fc/previous_foF2_plots");
  const RunResult result = run_in(work, 2024y / March / 7d);
  EXPECT_EQ(result.status, ExitStatus::failure);
  EXPECT_EQ(result.messages, "norvane_foF2: cannot write current pictures in folder \"" +
                                 work.path() +
                                 "www/\": No such file or directory (archive pictures not "
                                 "written either)\n");
  // Each day got as far as its BMP.
  EXPECT_EQ(work.list("fc").size(), 7u);
}

}  // namespace
}  // namespace norvane
