// SPDX-License-Identifier: MIT
// The built program left alone as a station leaves it: data that vanishes or cannot be read,
// runs that meet or are killed, settings that are not text, nobody reading standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/day_table.h"
#include "support/program.h"
#include "support/station_files.h"
#include "support/station_work.h"
#include "support/temp_folder.h"
#include "util/input_file.h"
#include "util/run_lock.h"

namespace norvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::run_today;

// The archive picture of `slot`, relative to the working folder.
std::string archive_of(const PlotState& days, int slot) {
  return "fc/previous_foF2_plots/" + days.forecast_names[slot].substr(2) + days.doy_codes[slot] +
         ".gif";
}

// A station's folder after one quiet run, open to an unprivileged program.
class StationWork : public ::testing::Test {
 protected:
  void SetUp() override {
    build_day_table(days_, testing::local_today());
    testing::prepare_station_work(work_, days_);
    testing::open_to_everyone(work_.path());
    ASSERT_EQ(run_today(work_, unprivileged_).first.exit_status, 0);
    for (int slot = 1; slot <= 6; ++slot) archives_.push_back(work_.read(archive_of(days_, slot)));
  }

  // Whether the archive picture of `slot` is still the one of the first run.
  bool archive_kept(int slot) const {
    return work_.read(archive_of(days_, slot)) == archives_[static_cast<std::size_t>(slot - 1)];
  }

  // Hidden files and BMPs left in the folders the run writes in (but the two files that take
  // turns as the run record and the lock file, which stay).
  std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    for (const std::string& name : work_.list()) {
      const std::string base = fs::path(name).filename().string();
      if ((base.starts_with(".") && !base.starts_with(".plotfoF2.json.") &&
           base != run_lock_file_name) ||
          base.ends_with(".bmp")) {
        found.push_back(name);
      }
    }
    return found;
  }

  testing::TempFolder work_;
  PlotState days_;
  std::vector<std::string> archives_;
  testing::ProgramOptions unprivileged_{.unprivileged = true};
};

TEST_F(StationWork, ARunThatCannotSeeTheStationsDataKeepsTheArchive) {
  const std::string obs = work_ / "obs/";
  // A share that did not mount: an empty folder. A day that has no picture yet still gets one.
  fs::rename(obs, work_ / "away");
  fs::create_directory(obs);
  fs::remove(work_ / archive_of(days_, 2));
  auto [result, days] = run_today(work_, unprivileged_);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "norvane_foF2: measurement folder \"" + obs +
                                       "\" holds no measurement file (no measurements drawn; "
                                       "archive pictures kept, or written without "
                                       "measurements where missing)\n");
  for (int slot : {1, 3, 4, 5, 6}) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  EXPECT_EQ(testing::Picture::load(work_ / archive_of(days_, 2)),
            testing::Picture::load(work_ / "www/plotfoF22.gif"));

  // A folder the program may not list, and a first file that names no station.
  fs::permissions(obs, fs::perms::none);
  result = run_today(work_, unprivileged_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "norvane_foF2: cannot list measurement folder \"" + obs +
                                       "\": Permission denied (no measurements drawn; archive "
                                       "pictures kept, or written without measurements "
                                       "where missing)\n");
  fs::remove(obs);
  fs::rename(work_ / "away", obs);
  // A stray file naming another station first in the folder: no file of that station in the
  // six days, so the run fails and says which file told it.
  work_.write("obs/0README.TXT", "Gibilmanna test file\n\n\n");
  result = run_today(work_, unprivileged_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.standard_error.find("no measurement file of the station for any of the six "
                                       "days in \"" +
                                       obs + "\": the first line of \"" + obs +
                                       "0README.TXT\" begins \"Gibi\", which names station "
                                       "style 1"),
            std::string::npos)
      << result.standard_error;
  for (int slot : {1, 3, 4, 5, 6}) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  fs::remove(work_ / "obs/0README.TXT");
  work_.write("obs/README.txt", "Notes on the station\n");
  result = run_today(work_, unprivileged_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "norvane_foF2: no known station: the first line of \"" + obs +
                                       "README.txt\" begins \"Note\" (no measurements drawn; "
                                       "archive pictures kept, or written without "
                                       "measurements where missing)\n");
  for (int slot : {1, 3, 4, 5, 6}) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
}

TEST_F(StationWork, AnArchivePictureIsReplacedOnlyByAFigureOfAtLeastAsManyFiles) {
  // Day 1 thinned by a clean-up job (00:30 to 09:30 gone), day 2 cleared away, today's files
  // gone too: days 1 and 2 keep their pictures with a word, today is drawn anew. Day 3 has two
  // files that cannot be read and day 4 one emptied during an upload: one message for the run,
  // their pictures kept. Day 5 gets a late file: its picture is replaced.
  for (int hour = 0; hour < 24; ++hour) {
    if (hour < 10) fs::remove(work_ / testing::measurement_name(days_, 1, hour, 30));
    fs::remove(work_ / testing::measurement_name(days_, 2, hour, 30));
    fs::remove(work_ / testing::measurement_name(days_, 6, hour, 30));
  }
  const std::string first = testing::measurement_name(days_, 3, 4, 30);
  fs::permissions(work_ / first, fs::perms::none);
  fs::permissions(work_ / testing::measurement_name(days_, 3, 7, 30), fs::perms::none);
  const std::string emptied = testing::measurement_name(days_, 4, 12, 30);
  work_.write(emptied, "");
  work_.write(testing::measurement_name(days_, 5, 12, 45),
              testing::measurement_file("Rome", testing::value_field(9.0)));
  const auto kept_with_a_word = [&](int slot, int now) {
    const std::string& label = days_.date_labels[slot];
    const std::string day = label.substr(6) + "-" + label.substr(3, 2) + "-" + label.substr(0, 2);
    return "norvane_foF2: archive picture \"" + work_.path() + archive_of(days_, slot) + "\" of " +
           label + " kept: it was drawn from 24 measurement files, the folder now holds " +
           std::to_string(now) + " of that day (--backfill " + day + " " + day +
           " --redraw replaces it)\n";
  };
  const auto [result, days] = run_today(work_, unprivileged_);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, kept_with_a_word(1, 14) + kept_with_a_word(2, 0) +
                                       "norvane_foF2: cannot read 3 measurement files, the first "
                                       "\"" +
                                       work_.path() + first +
                                       "\": Permission denied (their days' archive pictures "
                                       "kept)\n");
  for (const int slot : {1, 2, 3, 4}) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  for (const int slot : {5, 6}) EXPECT_FALSE(archive_kept(slot)) << "slot " << slot;
  // The current pictures show what could be read.
  const auto day_3 = testing::Picture::load(work_ / "www/plotfoF23.gif");
  EXPECT_EQ(testing::figure_pixel(day_3, 45, 10 * (5 + 4 / 4.0)), colours::background);
  EXPECT_EQ(testing::figure_pixel(day_3, 55, 10 * (5 + 5 / 4.0)), colours::measured);

  // All readable again, and day 4's file back with a corrected value: day 4 is replaced, days 1
  // and 2 stay as they were, and a run that lost nothing but cleared days succeeds.
  fs::permissions(work_ / first, fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(work_ / testing::measurement_name(days_, 3, 7, 30),
                  fs::perms::owner_read | fs::perms::others_read);
  work_.write(emptied, testing::measurement_file("Rome", testing::value_field(12.0)));
  const auto again = run_today(work_, unprivileged_).first;
  EXPECT_EQ(again.exit_status, 0);
  EXPECT_EQ(again.standard_error, kept_with_a_word(1, 14) + kept_with_a_word(2, 0));
  for (const int slot : {1, 2, 3}) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;
  EXPECT_FALSE(archive_kept(4));
  EXPECT_EQ(testing::figure_pixel(testing::Picture::load(work_ / archive_of(days_, 4)), 125, 120),
            colours::measured);
}

TEST_F(StationWork, RunsStartedTogetherWaitForEachOtherAndAKilledRunLeavesNothing) {
  std::vector<testing::StartedProgram> runs;
  for (int i = 0; i < 8; ++i) runs.emplace_back(work_.path(), testing::ProgramOptions{});
  for (auto& run : runs) {
    const auto result = run.wait();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_error, "");
  }
  for (int slot = 1; slot <= 6; ++slot) EXPECT_TRUE(archive_kept(slot)) << "slot " << slot;

  // Runs killed at moments from their start to their end, each followed by a normal run. The
  // killed runs have a new measurement to draw, so that they write pictures.
  const auto start = std::chrono::steady_clock::now();
  run_today(work_);
  const auto run_time = std::chrono::steady_clock::now() - start;
  for (int eighth = 0; eighth <= 8; ++eighth) {
    work_.write(testing::measurement_name(days_, 6, 23, eighth),
                testing::measurement_file("Rome", testing::value_field(9.0)));
    testing::StartedProgram killed(work_.path(), {});
    std::this_thread::sleep_for(run_time * eighth / 8);
    killed.kill();
    killed.wait();
    const auto result = run_today(work_).first;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_EQ(leftovers(), std::vector<std::string>{}) << "killed after " << eighth << "/8";
  }
  for (int slot = 1; slot <= 6; ++slot) {
    EXPECT_EQ(testing::Picture::load(work_ / archive_of(days_, slot)),
              testing::Picture::load(work_ / ("www/plotfoF2" + std::to_string(slot) + ".gif")));
  }
}

TEST_F(StationWork, SettingsThatAreNotTextAndABrokenStandardErrorDoNoHarm) {
  // A NUL in the picture folder's line: nothing is written through it, least of all the file
  // named by what comes before the NUL.
  work_.write("victim", "not a picture");
  work_.write("norvane_foF2.ini", "f\r\nfc/\r\no\r\nobs/\r\np\r\nvictim\0/\r\n"s);
  auto result = run_today(work_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error,
            "norvane_foF2: settings file \"" + work_.path() +
                "norvane_foF2.ini\" line 6 holds a control character: \"victim\\x00/\"; nothing "
                "is read or written through that folder\n");
  EXPECT_EQ(work_.read("victim"), "not a picture");

  // Saved as UTF-16: nothing at all is written.
  work_.write("norvane_foF2.ini", std::string("\xFF\xFE"
                                              "f\0\r\0\n\0",
                                              8));
  const auto before = work_.list();
  result = run_today(work_).first;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "norvane_foF2: settings file \"" + work_.path() +
                                       "norvane_foF2.ini\" is UTF-16 text: save it as plain text "
                                       "(ASCII or UTF-8); nothing is read or written\n");
  EXPECT_EQ(work_.list(), before);

  // Nobody reads standard error, or it is closed: the warning of a missing forecast is
  // dropped, the run goes on, and no file the program opens stands in for a closed stream.
  testing::prepare_station_work(work_, days_);
  fs::remove(work_ / ("fc/" + days_.forecast_names[6] + ".txt"));
  for (const auto& streams : {testing::ProgramOptions{.broken_standard_error = true},
                              testing::ProgramOptions{.closed_standard_streams = true}}) {
    fs::remove(work_ / "www/plotfoF26.gif");
    result = run_today(work_, streams).first;
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NO_THROW(testing::Picture::load(work_ / "www/plotfoF26.gif"));
  }
  for (const std::string& name : work_.list()) {
    if (fs::is_regular_file(work_ / name)) {
      EXPECT_EQ(work_.read(name).find("norvane_foF2: "), std::string::npos) << name;
    }
  }
}

TEST_F(StationWork, RunsOfEveryUserShareOneLockAndStationsSharingPicturesKeepTheirOwn) {
  // A run as root, then root holding the station's lock (as a backfill does) while the service's
  // user starts a run: that run waits until the lock is let go.
  ASSERT_EQ(run_today(work_).first.exit_status, 0);
  const int forecast_folder = ::open((work_ / "fc").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(forecast_folder, 0);
  ASSERT_EQ(::flock(forecast_folder, LOCK_EX), 0);
  testing::StartedProgram waiting(work_.path(), unprivileged_);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(waiting.running());
  ::close(forecast_folder);
  const auto waited = waiting.wait();
  EXPECT_EQ(waited.exit_status, 0) << waited.standard_error;

  // A second station writing its current pictures into this station's picture folder: started
  // together, each picture is whole and one of the two stations' figure of its slot.
  testing::TempFolder other;
  testing::prepare_station_work(other, days_);
  for (int day = 1; day <= 6; ++day) {
    std::array<double, 24> forecast{};
    forecast.fill(12.0);
    other.write("fc/" + days_.forecast_names[day] + ".txt", testing::forecast_file(forecast));
  }
  ASSERT_EQ(run_today(other).first.exit_status, 0);
  std::vector<testing::Picture> own, others;
  for (int slot = 1; slot <= 6; ++slot) {
    const std::string name = "www/plotfoF2" + std::to_string(slot) + ".gif";
    own.push_back(testing::Picture::load(work_ / name));
    others.push_back(testing::Picture::load(other / name));
  }
  other.write("norvane_foF2.ini", "f\nfc/\no\nobs/\np\n" + work_.path() + "www/\n");
  std::vector<testing::StartedProgram> runs;
  for (int i = 0; i < 6; ++i)
    runs.emplace_back(i % 2 == 0 ? work_.path() : other.path(), testing::ProgramOptions{});
  for (auto& run : runs) {
    const auto result = run.wait();
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
  }
  for (int slot = 1; slot <= 6; ++slot) {
    const auto picture =
        testing::Picture::load(work_ / ("www/plotfoF2" + std::to_string(slot) + ".gif"));
    const auto index = static_cast<std::size_t>(slot - 1);
    EXPECT_TRUE(picture == own[index] || picture == others[index]) << "slot " << slot;
  }
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(StationWork, AMeasurementFileOfAnySizeCostsAPageOfReading) {
  // An upload gone wrong: 8 GiB without a line end. And a file longer than a page whose three
  // lines lie in its first page, which is a measurement like any other.
  const std::string sparse = testing::measurement_name(days_, 6, 1, 7);
  work_.write(sparse, "Rome");
  ASSERT_EQ(::truncate((work_ / sparse).c_str(), off_t{8} << 30), 0);
  work_.write(testing::measurement_name(days_, 6, 2, 7),
              testing::measurement_file("Rome", testing::value_field(9.0)) +
                  std::string(3 * InputFile::page_bytes, '#'));
  const auto [run, days] = run_today(work_, unprivileged_);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, "norvane_foF2: cannot read measurement file \"" + (work_ / sparse) +
                                    "\": larger than a measurement file can be: its first 4096 "
                                    "bytes hold no three lines (its day's archive picture kept)\n");
  EXPECT_EQ(testing::figure_pixel(testing::Picture::load(work_ / "www/plotfoF26.gif"), 21, 90),
            colours::measured);
  const auto check = testing::run_program(work_.path(), {.arguments = {"--check"}});
  EXPECT_NE(check.standard_output.find("\nmeasurement file \"" + (work_ / sparse) +
                                       "\" is 8589934592 bytes, larger than a measurement file "
                                       "can be\n"),
            std::string::npos)
      << check.standard_output;
}

// Whether a record lock of another open file holds the byte `byte` of the file at `path`.
bool record_locked(const std::string& path, off_t byte) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_start = byte;
  probe.l_len = 1;
  const bool locked = fd >= 0 && ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  if (fd >= 0) ::close(fd);
  return locked;
}

TEST(RunLock, OnlyTheStationsUsersCanHoldItAndARunOnAnotherMachineIsWaitedFor) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to try as another user";
  testing::TempFolder work;
  PlotState days;
  build_day_table(days, testing::local_today());
  testing::prepare_station_work(work, days);
  // The installation's modes: the station's users alone may open the forecast folder; the web
  // server passes through it to the archive.
  fs::permissions(work.path(), fs::perms(0755));
  fs::permissions(work / "fc", fs::perms(0771));
  ASSERT_EQ(run_today(work).first.exit_status, 0);
  const std::string lock_file = work / ("fc/" + std::string(run_lock_file_name));
  const std::string archive = work / archive_of(days, 6);
  const pid_t other = ::fork();
  if (other == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(9);
    const bool folder_refused = ::open((work / "fc").c_str(), O_RDONLY | O_DIRECTORY) < 0;
    const bool file_refused = ::open(lock_file.c_str(), O_RDONLY) < 0;
    const bool archive_read = ::open(archive.c_str(), O_RDONLY) >= 0;
    ::_exit(folder_refused && file_refused && archive_read ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  auto check = testing::run_program(work.path(), {.arguments = {"--check"}});
  EXPECT_NE(check.standard_output.find("\nrun lock: can be taken, and other users of this machine "
                                       "cannot open the forecast folder or its lock file\n"),
            std::string::npos)
      << check.standard_output;
  fs::permissions(work / "fc", fs::perms(0775));
  check = testing::run_program(work.path(), {.arguments = {"--check"}});
  EXPECT_NE(check.standard_output.find("any user could hold the run lock (chmod 0771 '" +
                                       work.path() + "fc/')"),
            std::string::npos)
      << check.standard_output;

  // A run on another machine sharing the folder holds the record lock through the file
  // system's server: a run here waits in turn until it is let go. (Held here as a lock of the
  // open file, which record_locked's own opening and closing of the file leaves alone.)
  const int held = ::open(lock_file.c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_len = 1;
  ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &lock), 0);
  testing::StartedProgram waiting(work.path(), {});
  for (int i = 0; i < 20000 && !record_locked(lock_file, 1); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(waiting.running());
  timespec let_go{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &let_go);
  ::close(held);
  EXPECT_EQ(waiting.wait().exit_status, 0);
  struct stat picture {};
  ASSERT_EQ(::stat((work / "www/plotfoF26.gif").c_str(), &picture), 0);
  EXPECT_GE(picture.st_mtim.tv_sec * 1'000'000'000LL + picture.st_mtim.tv_nsec,
            let_go.tv_sec * 1'000'000'000LL + let_go.tv_nsec);

  // A forecast folder the run's user may write in and pass through but not read: no lock, and
  // the check says so.
  ASSERT_EQ(::chown((work / "fc").c_str(), 65534, 65534), 0);
  fs::permissions(work / "fc", fs::perms(0333));
  testing::open_to_everyone(work / "obs");
  fs::permissions(work / "www", fs::perms(0777));
  const auto refused = testing::run_program(work.path(), {.unprivileged = true});
  EXPECT_EQ(refused.standard_error, "norvane_foF2: cannot take the run lock \"" + work.path() +
                                        "fc/\": Permission denied (nothing written)\n");
  check = testing::run_program(work.path(), {.arguments = {"--check"}, .unprivileged = true});
  EXPECT_NE(check.standard_output.find("\nrun lock: the forecast folder \"" + work.path() +
                                       "fc/\" cannot be opened for reading, so a run cannot take "
                                       "its lock: Permission denied\n"),
            std::string::npos)
      << check.standard_output;
  EXPECT_NE(check.standard_output.find("verdict: not ready: the run lock cannot be taken"),
            std::string::npos)
      << check.standard_output;
}

}  // namespace
}  // namespace norvane
