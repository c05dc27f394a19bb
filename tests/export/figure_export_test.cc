// SPDX-License-Identifier: MIT
#include "export/figure_export.h"

#include <gtest/gtest.h>

#include <sstream>

#include "driver/day_table.h"
#include "support/gif_picture.h"
#include "support/messages.h"
#include "support/temp_folder.h"
#include "surface/plot_frame.h"
#include "surface/sizing.h"

namespace norvane {
namespace {

using namespace std::chrono;

TEST(ExportPaths, EachDayKeepsItsOwnYearAcrossTheYearBoundary) {
  PlotState state;
  build_day_table(state, 2025y / January / 3d);
  state.forecast_dir = "/fc/";
  state.picture_dir = "/www/";
  state.day_index = 1;
  const ExportPaths first = export_paths(state);
  EXPECT_EQ(first.temporary_bmp, "/fc/grafico1.bmp");
  EXPECT_EQ(first.current_gif, "/www/plotfoF21.gif");
  EXPECT_EQ(first.archive_gif, "/fc/previous_foF2_plots/2024364.gif");
  state.day_index = 6;
  const ExportPaths last = export_paths(state);
  EXPECT_EQ(last.current_gif, "/www/plotfoF26.gif");
  EXPECT_EQ(last.archive_gif, "/fc/previous_foF2_plots/2025003.gif");

  state.forecast_dir = "/fc";  // a folder without its separator is glued to the name
  EXPECT_EQ(export_paths(state).temporary_bmp, "/fcgrafico6.bmp");
}

// One export of a framed figure of 5 February 2024 (slot 6) into the folders of `work`.
class FigureExport : public ::testing::Test {
 protected:
  void SetUp() override {
    build_day_table(state_, 2024y / February / 5d);
    state_.day_index = 6;
    state_.forecast_dir = work_ / "fc/";
    state_.picture_dir = work_ / "www/";
    impostazioni_dimensioni_e_scala_del_form(state_, surface_);
    disegno_dello_stage(surface_);
  }

  void export_figure() {
    Diagnostics diagnostics(testing::into(messages_));
    salva_figura(state_, surface_, converter_, diagnostics);
    failed_ = diagnostics.failed();
  }

  testing::TempFolder work_;
  PlotState state_;
  DrawingSurface surface_;
  ImageConverter converter_;
  std::ostringstream messages_;
  bool failed_ = false;
};

TEST_F(FigureExport, WritesBothPicturesAndRemovesTheBmp) {
  work_.make_folder("fc/previous_foF2_plots");
  work_.make_folder("www");
  export_figure();
  EXPECT_EQ(messages_.str(), "");
  EXPECT_FALSE(failed_);
  EXPECT_EQ(work_.list(), (std::vector<std::string>{"fc", "fc/previous_foF2_plots",
                                                    "fc/previous_foF2_plots/2024036.gif", "www",
                                                    "www/plotfoF26.gif"}));
  const auto drawn = testing::Picture::of(surface_);
  EXPECT_EQ(testing::Picture::load(work_ / "www/plotfoF26.gif"), drawn);
  EXPECT_EQ(testing::Picture::load(work_ / "fc/previous_foF2_plots/2024036.gif"), drawn);
}

TEST_F(FigureExport, MissingPictureFolderCostsOnlyTheCurrentPicture) {
  work_.make_folder("fc/previous_foF2_plots");
  export_figure();
  EXPECT_TRUE(failed_);
  EXPECT_EQ(messages_.str(), "norvane_foF2: cannot write current pictures in folder \"" +
                                 work_.path() + "www/\": No such file or directory\n");
  EXPECT_EQ(work_.list(), (std::vector<std::string>{"fc", "fc/previous_foF2_plots",
                                                    "fc/previous_foF2_plots/2024036.gif"}));
  EXPECT_EQ(state_.current_outcome, PictureOutcome::failed);
  EXPECT_EQ(state_.archive_outcome, PictureOutcome::written);
}

TEST_F(FigureExport, MissingArchiveFolderCostsOnlyTheArchivePicture) {
  work_.make_folder("fc");
  work_.make_folder("www");
  export_figure();
  EXPECT_TRUE(failed_);
  EXPECT_EQ(messages_.str(), "norvane_foF2: cannot write archive pictures in folder \"" +
                                 work_.path() +
                                 "fc/previous_foF2_plots/\": No such file or directory\n");
  EXPECT_EQ(work_.list(), (std::vector<std::string>{"fc", "www", "www/plotfoF26.gif"}));
}

TEST_F(FigureExport, WithoutItsBmpTheCurrentPictureComesFromTheFigureInMemory) {
  work_.write("www/plotfoF26.gif", "picture of an earlier run");
  export_figure();
  EXPECT_TRUE(failed_);
  EXPECT_EQ(messages_.str(),
            "norvane_foF2: cannot write temporary BMPs in folder \"" + work_.path() +
                "fc/\": No such file or directory (pictures written from the figure in memory)\n"
                "norvane_foF2: cannot write archive pictures in folder \"" +
                work_.path() + "fc/previous_foF2_plots/\": No such file or directory\n");
  EXPECT_EQ(work_.list(), (std::vector<std::string>{"www", "www/plotfoF26.gif"}));
  EXPECT_EQ(testing::Picture::load(work_ / "www/plotfoF26.gif"), testing::Picture::of(surface_));
}

}  // namespace
}  // namespace norvane
