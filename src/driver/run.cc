// SPDX-License-Identifier: MIT
#include "driver/run.h"

#include "driver/run_session.h"
#include "export/figure_export.h"
#include "export/run_record.h"

namespace norvane {

ExitStatus run(const RunRequest& request) {
  RunSession session(request.messages);
  RunSummary& summary = session.summary();
  summary.started = request.clock();
  if (!session.prepare(request.working_dir, request.lock_wait)) return ExitStatus::failure;
  session.use_days(request.today, request.today);
  for (int day_index = 1; day_index <= 6; ++day_index) session.draw_day(day_index);
  session.finish();

  // What the run drew, for the page and for scripts: the archive index, then the run record,
  // whose "success" covers the index too.
  const PlotState& state = session.state();
  if (!state.forecast_dir_refused) {
    update_archive_index(state.forecast_dir + std::string(archive_folder_name), summary.days,
                         session.diagnostics());
  }
  if (!state.picture_dir_refused) {
    const std::string& work_dir = state.work_dir;
    const auto name_end = work_dir.find_last_not_of('/');
    const auto name_begin = work_dir.find_last_of('/', name_end);
    if (name_end != std::string::npos) {
      summary.station_folder = work_dir.substr(name_begin + 1, name_end - name_begin);
    }
    summary.today = request.today;
    summary.success = !session.failed();
    summary.finished = request.clock();
    write_run_record(state.picture_dir, summary, session.diagnostics());
  }
  return session.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace norvane
