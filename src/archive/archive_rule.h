// SPDX-License-Identifier: MIT
// The archive pictures are the station's record: once a day leaves the six days of a run, its
// archive picture is never drawn again. A run may therefore replace a day's archive picture
// only with a figure that shows at least what the picture shows:
//
// - A day without an archive picture always gets one.
// - When the run cannot see the station's data (the measurement folder is missing, refused,
//   cannot be listed, holds no file, names no known station, or holds none of the station's
//   files for any of the days drawn), or a file of the day could not be read or held too little,
//   the figure may lack what the picture holds: the picture is kept (the cause is reported as a
//   failure).
// - Otherwise the picture is replaced when the figure was drawn from at least as many
//   measurement files as the picture was (archive/archive_record.h): a late file or a corrected
//   value reaches the archive. A figure drawn from fewer files (a clean-up job removed some of
//   the day's files) keeps the picture, with a warning that gives both counts.
// - Today's picture, and a picture whose record is missing or damaged (from an older program,
//   say), are replaced as a day's picture always was: a run never stops at a record it cannot
//   read.
// - A backfill asked to redraw replaces the pictures of its days with what the folder holds
//   now, thinner or not (though still not with what it could not read).
#pragma once

#include <optional>

#include "archive/archive_record.h"
#include "state/plot_state.h"

namespace norvane {

enum class ArchiveDecision {
  write,        // write the day's figure
  keep,         // keep the picture: the day's data could not be seen or read (reported already)
  keep_richer,  // keep the picture: it was drawn from more files than the figure
};

// What to do with the archive picture of the day at state.day_index, given what its
// measurements came to (state.day_measurements, state.day_counts), whether it is today
// (state.today_slot), whether a picture exists and the record it carries.
ArchiveDecision decide_archive(const PlotState& state, bool picture_exists,
                               const std::optional<ArchiveRecord>& record);

}  // namespace norvane
