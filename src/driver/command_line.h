// SPDX-License-Identifier: MIT
// The program is mostly started by a scheduler with no arguments, and then it runs; the few
// options are for the people who install, set up and repair a station. An argument must never
// make the program do more than it was asked: this is the one place that reads the command line,
// and it only turns it into a plain record of what was asked, or says what is wrong with it.
// Nothing here looks at files or the clock.
//
//   norvane_foF2 [-C DIR] [--metrics FILE] [--backfill FROM TO [--redraw]]
//   norvane_foF2 [-C DIR] --check
//   norvane_foF2 -h | --help
//   norvane_foF2 --version
//
// GNU conventions: "-C DIR" and "-CDIR", "--directory=DIR" and "--directory DIR", "--metrics=FILE"
// and "--metrics FILE", "--" ends the options (and the program takes no other arguments).
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "util/iso_date.h"

namespace norvane {

inline constexpr std::string_view program_name = "norvane_foF2";

struct CommandLine {
  enum class Action { run, check, backfill, help, version };
  Action action = Action::run;
  // The folder of -C or --directory as given, when given.
  std::optional<std::string> directory;
  // The days of --backfill, both included, and whether --redraw was given with it.
  std::chrono::year_month_day backfill_from{};
  std::chrono::year_month_day backfill_to{};
  bool redraw = false;
  // The metrics file of --metrics as given, when given (a run or a backfill).
  std::optional<std::string> metrics_file;
};

// What is wrong with a command line, as one line for the operator (without the program's name).
struct UsageError {
  std::string message;
};

// Reads the arguments after the program's name. `today` (the local date) bounds --backfill.
// -h and --help win over every other valid option, then --version.
std::variant<CommandLine, UsageError> read_command_line(std::span<const std::string> arguments,
                                                        std::chrono::year_month_day today);

// The usage text of -h and --help, lines ending in "\n".
std::string_view usage_text();

}  // namespace norvane
