// SPDX-License-Identifier: MIT
// A station is set up once and then runs unattended, so a mistake in its set-up (a folder line
// without its separator, a picture folder the scheduler's user cannot write, a forecast file not
// yet delivered) shows only as a failed run, or as pictures without their curves. The check
// tells the operator beforehand what a run would find and do, one item a line, and ends with a
// verdict: whether a run now would write all twelve pictures and exit with 0, and with how many
// of the warnings a run would print (a folder line without its separator, a missing forecast),
// each listed in the run's own words.
//
// It reads what a run reads, with the run's own procedures (the settings file, the forecast
// files, one listing of the measurement folder for all six days, the first measurement file),
// and only asks the system whether the folders a run writes in could be written: it writes,
// creates and locks nothing, so it may be run at any time, also while a run is under way.
#pragma once

#include "driver/exit_status.h"
#include "driver/run.h"

namespace norvane {

// Checks the set-up of the working folder of `request` for a run on `request.today`, and writes
// the report to `request.messages` (the program passes standard output). Returns success when a
// run now would write all twelve pictures and succeed, warnings or not.
ExitStatus check(const RunRequest& request);

}  // namespace norvane
