// SPDX-License-Identifier: MIT
// A finished figure leaves the program as two GIF pictures: the current picture of its slot
// (plotfoF21.gif for five days ago to plotfoF26.gif for today), which the web page shows and
// every run overwrites, and the archive picture named after the day's year and day of the year,
// kept in the subfolder "previous_foF2_plots" of the forecast folder. Both are made from a
// temporary BMP snapshot of the surface, written to the forecast folder and deleted at the end.
#pragma once

#include <string>
#include <string_view>

#include "export/image_converter.h"
#include "state/plot_state.h"
#include "surface/drawing_surface.h"
#include "util/diagnostics.h"

namespace norvane {

struct ExportPaths {
  std::string temporary_bmp;  // forecast_dir + "grafico" + slot + ".bmp"
  std::string current_gif;    // picture_dir + "plotfoF2" + slot + ".gif"
  std::string archive_gif;    // forecast_dir + "previous_foF2_plots/" + year + doy + ".gif"
};

// The files of the day at `day_index` (state/file_names.h): each day's archive picture is named
// after its own year.
ExportPaths export_paths(const PlotState& state);

// Exports the surface as the day's pictures: the BMP, then the current GIF, then the archive
// GIF, then the BMP is deleted. When the BMP cannot be written or read back, the GIFs are made
// from the figure in memory. A picture that cannot be written is reported, and the other is
// written all the same. Both carry the counts of what the figure was drawn from
// (archive/archive_record.h). An existing archive picture that the archive rules keep
// (state.keep_archive, archive/archive_rule.h) is left untouched, and nothing is written through
// a folder refused in the settings or missing. A backfill (state.archive_only) writes no current
// picture. What became of the two pictures is left in state.current_outcome and
// state.archive_outcome. No folder is created.
void salva_figura(PlotState& state, const DrawingSurface& surface, ImageConverter& converter,
                  Diagnostics& diagnostics);

}  // namespace norvane
