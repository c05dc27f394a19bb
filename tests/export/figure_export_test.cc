// SPDX-License-Identifier: MIT
#include "export/figure_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "archive/archive_record.h"
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

TEST_F(FigureExport, ReplacesAnArchivePictureOnlyWithAFigureDrawnFromAtLeastAsManyFiles) {
  using DayMeasurements = PlotState::DayMeasurements;
  work_.make_folder("fc/previous_foF2_plots");
  work_.make_folder("www");
  struct Case {
    int day_index;  // 6 is today
    DayMeasurements measurements;
    ArchiveRecord drawn_from;
    bool redraw;
    bool replaced;
  };
  // Each time, the picture there was drawn from three files, two of them with a value.
  const ArchiveRecord before{2, 1};
  for (const Case& c : {
           Case{6, DayMeasurements::not_seen, {}, false, false},
           Case{6, DayMeasurements::unreadable, {4, 0}, false, false},
           Case{5, DayMeasurements::none_found, {}, false, false},  // a clean-up job's doing
           Case{5, DayMeasurements::drawn, {1, 1}, false, false},
           Case{5, DayMeasurements::drawn, {3, 0}, false, true},  // a value corrected
           Case{5, DayMeasurements::drawn, {3, 1}, false, true},  // a late file
           Case{5, DayMeasurements::drawn, {1, 0}, true, true},   // asked to redraw
           Case{6, DayMeasurements::none_found, {}, false, true},
       }) {
    state_.day_index = static_cast<std::int16_t>(c.day_index);
    const std::string archive = export_paths(state_).archive_gif;
    state_.day_measurements = DayMeasurements::drawn;
    state_.day_counts = {before.files_with_value, before.files_without_value, {}, {}};
    state_.redraw_archive = true;
    export_figure();
    ASSERT_EQ(read_archive_record_file(archive), before);

    state_.day_measurements = c.measurements;
    state_.day_counts = {c.drawn_from.files_with_value, c.drawn_from.files_without_value, {}, {}};
    state_.redraw_archive = c.redraw;
    export_figure();
    EXPECT_EQ(read_archive_record_file(archive) == c.drawn_from, c.replaced)
        << "slot " << c.day_index << ", case " << static_cast<int>(c.measurements);
    EXPECT_EQ(state_.archive_outcome, c.replaced ? PictureOutcome::written : PictureOutcome::kept);
  }
  // Only a figure of fewer files is worth a word: the others' causes are reported where found.
  const std::string kept = "norvane_foF2: archive picture \"" + work_.path() +
                           "fc/previous_foF2_plots/2024035.gif\" of 04/02/2024 kept: it was drawn "
                           "from 3 measurement files, the folder now holds ";
  EXPECT_EQ(messages_.str(), kept +
                                 "0 of that day (--backfill 2024-02-04 2024-02-04 --redraw "
                                 "replaces it)\n" +
                                 kept +
                                 "2 of that day (--backfill 2024-02-04 2024-02-04 --redraw "
                                 "replaces it)\n");
  EXPECT_FALSE(failed_);

  // A picture without a record (an older program's) is replaced; a day without a picture always
  // gets one.
  state_.day_index = 5;
  const std::string archive = export_paths(state_).archive_gif;
  state_.day_measurements = DayMeasurements::none_found;
  state_.day_counts = {};
  state_.redraw_archive = false;
  work_.write(archive.substr(work_.path().size()), "an older program's picture");
  export_figure();
  EXPECT_EQ(testing::Picture::load(archive), testing::Picture::of(surface_));
  std::filesystem::remove(archive);
  state_.day_measurements = DayMeasurements::not_seen;
  export_figure();
  EXPECT_EQ(testing::Picture::load(archive), testing::Picture::of(surface_));
}

}  // namespace
}  // namespace norvane
