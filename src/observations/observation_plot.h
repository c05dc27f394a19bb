// SPDX-License-Identifier: MIT
// Each figure shows the foF2 values the station measured that day, as the day's reading gives
// them (day_reading.h) and the archive merges them with its record of the day
// (archive/archive_rule.h), in the order of the day's slots: hour by hour, and within an hour the
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

#include "state/measurement.h"
#include "surface/drawing_surface.h"

namespace norvane {

// x offset of a minute (0 to 59) within its hour: the minute divided by 6, rounded to the
// nearest, halves down, that is (minute + 2) / 6. Minutes 58 and 59 land on the next hour's x.
int minute_offset(int minute);

// Draws the measurements of the day: `measurements`, in the order of the day's slots.
void grafico_valori_autoscalati(DrawingSurface& surface, std::span<const Measurement> measurements);

}  // namespace norvane
