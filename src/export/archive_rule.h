// SPDX-License-Identifier: MIT
// The archive pictures are the station's record: once a day leaves the six days of a run, its
// archive picture is never drawn again. A run may therefore replace a day's archive picture
// only with a figure that shows at least what the station's data showed before. When the run
// cannot see the station's data (the measurement folder cannot be listed, holds no file, names
// no known station, or is refused in the settings), or a file of the day could not be read, the
// figure may lack measurements that the existing picture holds, so that picture is kept as it
// is. So is the picture of a past day whose files are all gone, which is what a job that clears
// a station's old files leaves; today's picture is always drawn. A day without an archive
// picture always gets one.
#pragma once

#include "state/plot_state.h"

namespace norvane {

// Whether the day at state.day_index keeps an archive picture that already exists, given what
// its measurements came to (state.day_measurements) and whether it is today (state.today_slot).
bool keeps_existing_archive(const PlotState& state);

}  // namespace norvane
