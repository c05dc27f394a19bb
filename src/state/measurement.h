// SPDX-License-Identifier: MIT
// One measurement of a day, as its file gave it or as the day's record kept it once the file was
// gone: its time, named by its file's name, its value and the file's name. The day's reading
// gives them (observations/day_reading.h), the archive merges them with what it recorded
// (archive/archive_rule.h), and the figure draws them (observations/observation_plot.h).
#pragma once

#include <optional>
#include <string>

namespace norvane {

struct Measurement {
  int hour = 0;         // 0 to 23
  int minute_slot = 0;  // 1 to 60, minute 0 being slot 60 (the last of its hour)
  // In tenths of MHz, as read and drawn; empty for a measurement without a value.
  std::optional<double> value;
  // Its file's name in the measurement folder.
  std::string file;

  int minute() const { return minute_slot % 60; }
  // Minutes after 00:00 UT.
  int minute_of_day() const { return hour * 60 + minute(); }
  // Its place among the day's 1,440 slots in the order they are drawn: hour by hour, and within
  // an hour the minutes 01 to 59, then 00.
  int slot_of_day() const { return hour * 60 + minute_slot - 1; }

  bool operator==(const Measurement&) const = default;
};

}  // namespace norvane
