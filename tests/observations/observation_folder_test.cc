// SPDX-License-Identifier: MIT
#include "observations/observation_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "driver/day_table.h"
#include "observations/measurement_listing.h"
#include "observations/observation_plot.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;

// How many files the listing showed under `stem`.
std::size_t files_under(const ObservationFolder& folder, std::string_view stem) {
  std::size_t count = 0;
  folder.for_each_day_file(stem, [&](std::string_view, bool) { ++count; });
  return count;
}

TEST(ObservationFolder, IsUnchangedOnlyWhileTheListedFolderStaysAsItWas) {
  testing::TempFolder work;
  work.write("obs/RM041_2026342000000.TXT", "");
  const std::string obs = work / "obs/";
  const std::array<std::string, 1> stems{"RM041_2026342"};

  // Just changed: its time cannot vouch for it.
  EXPECT_FALSE(ObservationFolder::list(obs, stems).unchanged());

  testing::set_modified_ago(obs, 60);
  auto folder = ObservationFolder::list(obs, stems);
  EXPECT_TRUE(folder.unchanged());
  EXPECT_TRUE(folder.listed_for("rm041_2026342"));
  EXPECT_FALSE(folder.listed_for("RM041_2026343"));
  work.write("obs/RM041_2026342001500.TXT", "");  // a new file
  EXPECT_FALSE(folder.unchanged());

  // Another folder put in its place, even with the same time.
  testing::set_modified_ago(obs, 60);
  folder = ObservationFolder::list(obs, stems);
  ASSERT_EQ(std::rename(obs.c_str(), (work / "old").c_str()), 0);
  work.make_folder("obs");
  testing::set_modified_ago(obs, 60);
  EXPECT_FALSE(folder.unchanged());
  EXPECT_FALSE(ObservationFolder::list(work / "missing/", stems).unchanged());
}

TEST(MeasurementListing, IsKeptFromDayToDayUntilTheFolderChanges) {
  testing::TempFolder work;
  PlotState state;
  build_day_table(state, 2026y / December / 8d);  // day 6 is day 342 of the year
  state.observation_dir = work / "obs/";
  state.day_index = 1;
  work.write("obs/RM041_2026342000000.TXT", "");
  const std::array<std::string, 1> day_stems{"RM041_2026342"};

  // The days after the day drawn are listed for at once; a folder changed just now is listed
  // again for the next day, though.
  MeasurementListing listing;
  const ObservationFolder* changed = &listing.current(state, day_stems);
  EXPECT_TRUE(changed->listed_for("RM041_2026338"));
  EXPECT_FALSE(changed->unchanged());

  testing::set_modified_ago(state.observation_dir, 60);
  const ObservationFolder* first = &listing.current(state, day_stems);
  EXPECT_EQ(files_under(*first, "RM041_2026342"), 1u);
  EXPECT_TRUE(first->listed_for("RM041_2026338"));
  EXPECT_FALSE(first->listed_for("RM041_2026337"));
  EXPECT_EQ(&listing.current(state, day_stems), first);
  EXPECT_EQ(files_under(listing.current(state, day_stems), "RM041_2026342"), 1u);

  work.write("obs/RM041_2026342001500.TXT", "");
  EXPECT_EQ(files_under(listing.current(state, day_stems), "RM041_2026342"), 2u);
  // A stem it was not listed for makes a new listing too.
  const std::array<std::string, 1> other_stems{"XX"};
  EXPECT_TRUE(listing.current(state, other_stems).listed_for("XX"));
}

}  // namespace
}  // namespace norvane
