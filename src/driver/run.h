// SPDX-License-Identifier: MIT
// A run is the whole life of the program: prepare (minute texts, settings, the table of the six
// days), size the surface, then for each day from five days ago to today draw its figure and
// export it, and end. The run never stops early and never retries: a failure costs what it
// costs (a day's pictures, say) and the next step goes on. What went wrong is reported once per
// cause, and the exit status tells the scheduler whether all went well. Runs on the same
// forecast folder never overlap: a run waits for the one before it (util/run_lock.h).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "driver/exit_status.h"
#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

struct RunRequest {
  // The folder the run works in: the settings file is found there, and relative folders of the
  // settings file are taken inside it. The program passes its current directory.
  std::string working_dir;
  // The local calendar date the six days end with.
  std::chrono::year_month_day today;
  // Where failures and warnings are reported; the program passes standard error.
  MessageSink messages;
  // How long the run waits for another run on the same forecast folder to end.
  std::chrono::milliseconds lock_wait = std::chrono::seconds(60);
  // The wall clock, for the times in what the run tells its watchers.
  Clock clock = system_clock_now;
  // Where the run writes, at its end, what it did for monitoring (export/metrics_file.h); none
  // when empty. An absolute path.
  std::optional<std::string> metrics_file{};
};

ExitStatus run(const RunRequest& request);

}  // namespace norvane
