// SPDX-License-Identifier: MIT
#include "archive/archive_rule.h"

namespace norvane {

ArchiveDecision decide_archive(const PlotState& state, bool picture_exists,
                               const std::optional<ArchiveRecord>& record) {
  using DayMeasurements = PlotState::DayMeasurements;
  if (!picture_exists) return ArchiveDecision::write;
  if (state.day_measurements == DayMeasurements::not_seen ||
      state.day_measurements == DayMeasurements::unreadable) {
    return ArchiveDecision::keep;
  }
  const bool today = state.day_index >= state.today_slot;
  if (!record || today || state.redraw_archive) return ArchiveDecision::write;
  return state.day_counts.files() >= record->files() ? ArchiveDecision::write
                                                     : ArchiveDecision::keep_richer;
}

}  // namespace norvane
