// SPDX-License-Identifier: MIT
#include "export/figure_export.h"

#include <sys/stat.h>

#include <vector>

#include "export/archive_rule.h"
#include "util/text_fields.h"

namespace norvane {
namespace {

// "cannot write current pictures in folder ...: reason" when the folder is at fault, which costs
// every day alike and so makes one message; "cannot write current picture ...: reason" else.
std::string write_failure(const FileError& error, std::string_view what) {
  if (error.scope == FileError::Scope::folder) {
    return "cannot write " + std::string(what) + "s in folder " + quoted(error.path) + ": " +
           error.reason;
  }
  return "cannot write " + std::string(what) + " " + quoted(error.path) + ": " + error.reason;
}

// Whether the day's archive picture exists and is to be kept as it is.
bool keeps_archive_as_it_is(const PlotState& state, const std::string& archive_gif) {
  struct stat info {};
  return keeps_existing_archive(state) && ::lstat(archive_gif.c_str(), &info) == 0;
}

}  // namespace

ExportPaths export_paths(const PlotState& state, const std::string& file_previsioni) {
  const std::string slot = std::to_string(state.day_index);
  const std::string year(columns(file_previsioni, 3, 4));
  return {state.forecast_dir + "grafico" + slot + ".bmp",
          state.picture_dir + "plotfoF2" + slot + ".gif",
          state.forecast_dir + std::string(archive_folder_name) + year +
              state.doy_codes[state.day_index] + ".gif"};
}

void salva_figura(PlotState& state, const DrawingSurface& surface, ImageConverter& converter,
                  Diagnostics& diagnostics, const std::string& file_previsioni) {
  const ExportPaths paths = export_paths(state, file_previsioni);
  state.archive_outcome = PlotState::ArchiveOutcome::failed;
  // The pictures are made from the BMP snapshot; when it cannot be written or read back, from
  // the figure in memory, which is the same picture.
  constexpr std::string_view from_memory = " (pictures written from the figure in memory)";
  bool bmp_written = false;
  bool loaded = false;
  if (!state.forecast_dir_refused) {
    if (const auto error = surface.save_bmp(paths.temporary_bmp)) {
      diagnostics.fail(write_failure(*error, "temporary BMP") + std::string(from_memory));
    } else {
      bmp_written = true;
      if (const auto error = converter.load_bmp(paths.temporary_bmp)) {
        diagnostics.fail("cannot read temporary BMP " + quoted(error->path) + ": " + error->reason +
                         std::string(from_memory));
      } else {
        loaded = true;
      }
    }
  }
  if (!loaded) {
    std::vector<Rgb> palette;
    converter.load_indexed(surface.indexed_rows(palette));
  }

  if (!state.picture_dir_refused && !state.archive_only) {
    if (const auto error = converter.save_gif(paths.current_gif, false)) {
      diagnostics.fail(write_failure(*error, "current picture") +
                       " (archive pictures not written either)");
      return;
    }
  }
  if (!state.forecast_dir_refused) {
    bool unchanged = false;
    if (keeps_archive_as_it_is(state, paths.archive_gif)) {
      state.archive_outcome = PlotState::ArchiveOutcome::kept;
    } else if (const auto error = converter.save_gif(paths.archive_gif, false, &unchanged)) {
      diagnostics.fail(write_failure(*error, "archive picture"));
      return;
    } else {
      state.archive_outcome =
          unchanged ? PlotState::ArchiveOutcome::unchanged : PlotState::ArchiveOutcome::written;
    }
  }
  converter.reset();
  if (!bmp_written) return;
  if (const auto error = remove_file(paths.temporary_bmp)) {
    diagnostics.fail("cannot remove temporary BMP " + quoted(error->path) + ": " + error->reason);
  }
}

}  // namespace norvane
