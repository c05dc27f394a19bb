// SPDX-License-Identifier: MIT
#include "export/archive_rule.h"

namespace norvane {

bool keeps_existing_archive(const PlotState& state) {
  using DayMeasurements = PlotState::DayMeasurements;
  switch (state.day_measurements) {
    case DayMeasurements::drawn:
      return false;
    case DayMeasurements::none_found:
      return state.day_index < state.today_slot;
    case DayMeasurements::not_seen:
    case DayMeasurements::unreadable:
      return true;
  }
  return true;
}

}  // namespace norvane
