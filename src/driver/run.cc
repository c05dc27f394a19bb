// SPDX-License-Identifier: MIT
#include "driver/run.h"

#include "driver/run_session.h"
#include "export/metrics_file.h"
#include "export/run_record.h"

namespace norvane {

ExitStatus run(const RunRequest& request) {
  RunSession session(request.messages, request.clock);
  const bool prepared = session.prepare(request.working_dir, request.lock_wait);
  const PlotState& state = session.state();
  if (prepared) {
    session.use_days(request.today, request.today);
    session.state().day_index = 1;
    session.look_for_station_files(state.days.items());
    for (int day_index = 1; day_index <= 6; ++day_index) session.draw_day(day_index);
    // What the run drew, for the page and for scripts: the archive index while the lock is held,
    // then the run record, whose "success" covers the index too.
    session.index_archive();
  }
  session.finish();
  if (prepared && state.picture_dir_status == PlotState::FolderStatus::usable) {
    write_run_record(state.picture_dir, session.summary(), session.diagnostics());
  }
  // Also when the run could not start: that is what monitoring most needs to hear of.
  if (request.metrics_file) {
    write_metrics_file(*request.metrics_file, session.summary(), session.diagnostics());
  }
  return session.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace norvane
