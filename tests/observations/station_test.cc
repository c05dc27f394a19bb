// SPDX-License-Identifier: MIT
#include "observations/station.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <sstream>

#include "driver/day_table.h"
#include "state/file_names.h"
#include "support/messages.h"
#include "support/station_files.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;

// 8 December 2026: day of the year 342.
PlotState state_for_8_december_2026() {
  PlotState state;
  fill_minute_labels(state);
  state.observation_dir = "/obs/";
  return state;
}

TEST(ObservationFileName, FollowsEachStationsStyle) {
  PlotState state = state_for_8_december_2026();
  const Day day_342 = Day::of(2026y / December / 8d);
  const char* const expected[] = {"26342P30.TXT",
                                  "TUJ2O_20263421530.TXT",
                                  "BBJ3R_20263421530.TXT",
                                  "RM041_2026342153000.TXT",
                                  "SP044_2026342153000.TXT",
                                  "ML10L_2026342153000.TXT"};
  for (int kind = 1; kind <= 6; ++kind) {
    fill_hour_codes(kind, state);
    EXPECT_EQ(observation_file_path(state, kind, day_342, 15, 30),
              std::string("/obs/") + expected[kind - 1]);
  }
  fill_hour_codes(1, state);
  EXPECT_EQ(observation_file_path(state, 1, day_342, 0, 60), "/obs/26342A00.TXT");
  EXPECT_EQ(observation_file_path(state, 1, day_342.plus(23), 23, 45), "/obs/26365X45.TXT");
  fill_hour_codes(2, state);
  EXPECT_EQ(observation_file_path(state, 2, day_342, 0, 60), "/obs/TUJ2O_20263420000.TXT");
  EXPECT_EQ(state.hour_codes[24], "");  // slot 24 is never written
}

TEST(StationKind, KeysAreTheExactFirstFourCharacters) {
  EXPECT_EQ(station_kind_of_line("Gibilmanna ionosonde"), 1);
  EXPECT_EQ(station_kind_of_line("Moscow"), 1);
  EXPECT_EQ(station_kind_of_line(" (lat 40.8)"), 1);
  EXPECT_EQ(station_kind_of_line("(lat 40.8)"), 0);  // the key's leading blank is part of it
  EXPECT_EQ(station_kind_of_line("Tucuman"), 2);
  EXPECT_EQ(station_kind_of_line("tucuman"), 0);
  EXPECT_EQ(station_kind_of_line("Bahia Blanca"), 3);
  EXPECT_EQ(station_kind_of_line("Rome"), 4);
  EXPECT_EQ(station_kind_of_line("La_Spezia"), 5);
  EXPECT_EQ(station_kind_of_line("Mali"), 6);
  EXPECT_EQ(station_kind_of_line("Rom"), 0);
  EXPECT_EQ(station_kind_of_line(""), 0);
}

TEST(ListedMinutes, AreTheMinutesWhoseNameTheListingShowsInAnyCase) {
  testing::TempFolder work;
  for (const char* name : {"26342A00.TXT", "26342x45.txt", "26342Y10.TXT", "26342A0.TXT",
                           "26342B05.TXT.bak", "26343C05.TXT", "26342C5X.TXT"}) {
    work.write(std::string("obs/") + name, "");
  }
  PlotState state = state_for_8_december_2026();
  fill_hour_codes(1, state);
  const DayFileNames names = day_file_names(1, Day::of(2026y / December / 8d));
  const ObservationFolder folder = ObservationFolder::list(work / "obs/", std::array{names.stem});
  const auto minutes = listed_minutes(folder, names, state);
  EXPECT_EQ(minutes.count(), 2u);
  EXPECT_TRUE(minutes.test(0 * 60 + 60 - 1));   // A00: hour 0, slot 60
  EXPECT_TRUE(minutes.test(23 * 60 + 45 - 1));  // x45: hour 23, minute 45
}

class IdentifyStation : public ::testing::Test {
 protected:
  Station identify() {
    const ObservationFolder folder = ObservationFolder::list(obs_, {});
    return identify_station(folder, obs_);
  }

  testing::TempFolder work_;
  const std::string obs_ = work_ / "obs/";
};

TEST_F(IdentifyStation, TakesTheFirstRegularVisibleFileInByteOrderThatIsNotTheProgramsOwn) {
  work_.write("obs/.hidden", testing::measurement_file("Gibilmanna", " 5.0"));
  work_.write("obs/0_folder/inside", testing::measurement_file("Gibilmanna", " 5.0"));
  ASSERT_EQ(::mkfifo((work_ / "obs/0_fifo").c_str(), 0600), 0);
  // An archive picture and a yearly index, as in a folder that holds everything.
  work_.write("obs/2026339.gif", "Rome");
  work_.write("obs/2026.json", "Rome");
  work_.write("obs/b_file", testing::measurement_file("Mali", " 5.0"));
  work_.write("obs/B_file", testing::measurement_file("Tucuman", " 5.0"));
  work_.write("obs/C_file", testing::measurement_file("Rome", " 5.0"));
  const Station station = identify();
  EXPECT_EQ(station.problem, Station::Problem::none);
  EXPECT_EQ(station.kind, 2);
  EXPECT_EQ(station.first_file, "B_file");
  EXPECT_EQ(station.first_line, "Tucuman");
  for (const char* name : {"grafico1.bmp", "PLOTFOF26.GIF", "plotfoF2.json", "norvane_foF2.ini"}) {
    EXPECT_TRUE(file_names::is_program_file(name)) << name;
  }
  for (const char* name : {"grafico7.bmp", "26342P30.TXT", "RM041_2026342153000.TXT"}) {
    EXPECT_FALSE(file_names::is_program_file(name)) << name;
  }
}

TEST_F(IdentifyStation, UnknownStationsAndEmptyOrMissingFoldersTellNone) {
  const auto problem_text = [&] { return station_problem_text(identify(), obs_); };
  EXPECT_EQ(problem_text(), "cannot list measurement folder \"" + obs_ +
                                "\": No such file or directory" +
                                std::string(unseen_data_consequence));
  work_.make_folder("obs/only_a_folder");
  EXPECT_EQ(problem_text(), "measurement folder \"" + obs_ + "\" holds no measurement file" +
                                std::string(unseen_data_consequence));
  work_.write("obs/A_file", "tucuman ionosonde\r\n");
  EXPECT_EQ(identify().problem, Station::Problem::unknown);
  EXPECT_EQ(problem_text(), "no known station: the first line of \"" + obs_ +
                                "A_file\" begins \"tucu\"" + std::string(unseen_data_consequence));
}

}  // namespace
}  // namespace norvane
