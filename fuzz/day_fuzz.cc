// SPDX-License-Identifier: MIT
// Whole runs on a working folder made from the input: the figures of the six days to a fixed
// "today", from a forecast folder and a measurement folder whose files, names and contents
// alike, the input gives. The input is text: a line "#f NAME" begins a file of the forecast
// folder, "#m NAME" one of the measurement folder, and the lines up to the next line that
// begins with "#" are the file's. The settings file is fixed, so that every picture lands in
// the working folder.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "driver/run.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t most_files = 64;

// A name the input gives is used only when it names a file right in its folder.
bool usable_name(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// Empties the three folders of the working folder, so that no run sees what the last one left.
void clear_folders(const std::string& working_folder) {
  for (const char* folder : {"forecasts", "measurements", "pictures"}) {
    fs::remove_all(working_folder + folder);
    fs::create_directory(working_folder + folder);
  }
  fs::create_directory(working_folder + "forecasts/previous_foF2_plots");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace norvane;
  static const std::string working_folder = [] {
    const std::string folder = fuzz::scratch_folder();
    fuzz::write_file(folder + "norvane_foF2.ini",
                     "forecast folder\nforecasts/\nmeasurement folder\nmeasurements/\n"
                     "picture folder\npictures/\n");
    return folder;
  }();
  clear_folders(working_folder);

  std::size_t files = 0;
  fuzz::for_each_section({reinterpret_cast<const char*>(data), size},
                         [&](std::string_view header, std::string_view content) {
                           if (header.size() < 3 || (header[0] != 'f' && header[0] != 'm') ||
                               header[1] != ' ' || !usable_name(header.substr(2)) ||
                               ++files > most_files) {
                             return;
                           }
                           std::string path = working_folder;
                           path += header[0] == 'f' ? "forecasts/" : "measurements/";
                           path += header.substr(2);
                           fuzz::try_write_file(path, content);
                         });

  RunRequest request;
  request.working_dir = working_folder.substr(0, working_folder.size() - 1);
  request.today = std::chrono::year_month_day(std::chrono::year(2027), std::chrono::January,
                                              std::chrono::day(3));
  request.messages = fuzz::drop_message;
  run(request);
  return 0;
}
