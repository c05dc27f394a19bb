// SPDX-License-Identifier: MIT
// The program's whole life after `main`: read the command line, then show the help or the
// version, or report a usage error, or run, check or backfill in the working folder it names.
// `main` hands over what only the process knows (its arguments, current directory and today's
// local date, and its two output streams as sinks), so that everything from the command line
// on can be tested without a clock or a process of its own.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "driver/exit_status.h"
#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

struct ProgramRequest {
  // The arguments after the program's name.
  std::vector<std::string> arguments;
  // The process's current directory; empty when it cannot be known, `current_dir_error` says
  // why (an errno value). Only a run, a check or a backfill needs it, and -C with an absolute
  // folder does not.
  std::string current_dir;
  int current_dir_error = 0;
  // The local calendar date.
  std::chrono::year_month_day today;
  // The wall clock, for the time a run ended in what it tells its watchers.
  Clock clock = system_clock_now;
  MessageSink standard_output;
  MessageSink standard_error;
  bool output_is_terminal = false;
};

// Help, version and usage errors read no settings and write, create or lock nothing; the
// working folder is not even looked at.
ExitStatus run_program(const ProgramRequest& request);

}  // namespace norvane
