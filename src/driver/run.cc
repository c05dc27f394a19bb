// SPDX-License-Identifier: MIT
#include "driver/run.h"

#include "driver/run_session.h"
#include "export/metrics_file.h"

namespace norvane {

ExitStatus run(const RunRequest& request) {
  RunSession session(request.messages, request.clock);
  if (session.prepare(request.working_dir, request.lock_wait)) {
    session.use_days(request.today, request.today);
    session.look_for_station_files();
    for (int day_index = 1; day_index <= 6; ++day_index) session.draw_day(day_index);
  }
  session.finish();
  // Also when the run could not start: that is what monitoring most needs to hear of.
  if (request.metrics_file) {
    write_metrics_file(*request.metrics_file, session.summary(), session.diagnostics());
  }
  return session.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace norvane
