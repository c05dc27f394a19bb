// SPDX-License-Identifier: MIT
// A station that stops (a dead ionosonde, a share that no longer mounts, a run that fails every
// time) shows on its page only as pictures that stop changing. The metrics file tells the
// station's monitoring instead: after each run it holds when the run ended, whether it
// succeeded, the time of the newest measurement drawn, its value and the forecast curve's at its
// time (from which an alert tells a storm), and how many pictures were written and kept, in the
// Prometheus text format that the node exporter's textfile collector reads. Alert
// rules then say when a station fails or goes quiet.
//
// The file is written as the pictures are, through a temporary file and a rename, so that the
// collector never reads half of it. It only tells of the run: one that cannot be written is
// reported as a warning and changes nothing else the run did.
//
// A run that could not start (another run held the lock, the settings were refused) left the
// pictures as they were, so it cannot say what they show, nor what it wrote: its file tells when
// it ended, that it failed and its warnings, repeats what the file before it said of the
// pictures in place (the newest measurement, the days without a forecast), and leaves out the
// counts of pictures written and kept. A 0 there would read as a measurement of 1970 and set off
// the alert for a station gone quiet, where only the run failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/run_summary.h"
#include "util/diagnostics.h"

namespace norvane {

// What a metrics file says of the pictures in place, which a run that draws nothing leaves as
// they were.
struct StandingFigures {
  std::optional<std::int64_t> newest_measurement;  // seconds since the epoch
  std::optional<double> newest_measurement_mhz;    // its value
  std::optional<double> newest_curve_mhz;          // the forecast curve's at its time
  std::optional<std::int64_t> days_without_forecast;
};

// The figures that the metrics file at `path` gives for `station_folder`; none that it lacks,
// or when there is no such file.
StandingFigures read_standing_figures(const std::string& path, std::string_view station_folder);

// The metrics of `summary` in the Prometheus text format (version 0.0.4), each sample labelled
// with station="<summary.station_folder>". Where the run did not say (it drew nothing, or no
// measurement), `standing` gives the newest measurement (its time, value and curve) and the days
// without a forecast. A value that is not there (a newest measurement without a value, no curve
// at its time) is left out, as Prometheus has it, rather than written as a number.
std::string metrics_text(const RunSummary& summary, const StandingFigures& standing = {});

// Writes the metrics of `summary` as the whole new content of `path`, the run's success being
// also a failure that `diagnostics` heard of after the summary was completed, and its warnings
// those `diagnostics` printed; what the run did not say is taken from the file it replaces. A
// file that cannot be written is a warning.
void write_metrics_file(const std::string& path, const RunSummary& summary,
                        Diagnostics& diagnostics);

// `text` as the text format's label value, without the quotes: backslash, double quote and line
// feed escaped, and each byte that is not part of valid UTF-8 (a folder name may hold any
// bytes) replaced by U+FFFD, since a reader refuses the whole file for one invalid label.
std::string label_value(std::string_view text);

}  // namespace norvane
