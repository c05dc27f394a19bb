// SPDX-License-Identifier: MIT
// Each figure shows the foF2 values the station measured that day, as the day's reading gives
// them (day_reading.h), in the order of the day's slots: hour by hour, and within an hour the
// minutes 01, 02, ..., 59, 00 (the file of hh:00 comes after hh:59).
//
// - a value is a filled red dot at x = 10 per hour + minute_offset(minute), y = the value in
//   tenths of MHz; it is joined by a red line to the value dot drawn before it that day when
//   that dot lies exactly 2 or 3 units to its left and its value is not 0;
// - a measurement without a value is a short green tick from y = 1 to 8 at its x, which leaves
//   the trace of value dots as it was.
//
// Dots and lines are not clipped to the frame.
#pragma once

#include <span>
#include <string>

#include "observations/day_reading.h"
#include "observations/measurement_listing.h"
#include "state/plot_state.h"
#include "surface/drawing_surface.h"
#include "util/diagnostics.h"

namespace norvane {

// x offset of a minute (0 to 59) within its hour: the minute divided by 6, rounded to the
// nearest, halves down, that is (minute + 2) / 6. Minutes 58 and 59 land on the next hour's x.
int minute_offset(int minute);

// Draws the measurements of one day, in the order given.
void plot_measurements(DrawingSurface& surface, std::span<const Measurement> measurements);

// Recognises the station from the measurement folder and draws the measurements of the day at
// state.day_index; sets state.day_measurements and
// state.day_counts to what the folder gave the day. A file that the listing shows but that
// cannot be read or holds too little is noted in `listing` (a file gone since the listing, or a
// folder under a file's name, is simply not there).
void grafico_valori_autoscalati(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                                MeasurementListing& listing);

}  // namespace norvane
