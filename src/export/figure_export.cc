// SPDX-License-Identifier: MIT
#include "export/figure_export.h"

#include <vector>

#include "archive/archive_record.h"
#include "state/file_names.h"

namespace norvane {
namespace {

// "cannot write current pictures in folder ...: reason" when the folder is at fault, which costs
// every day alike and so makes one message; "cannot write current picture ...: reason" else.
std::string write_failure(const FileError& error, std::string_view what) {
  if (error.scope == FileError::Scope::folder) {
    return "cannot write " + std::string(what) + "s in folder " + norvane::quoted(error.path) +
           ": " + error.reason;
  }
  return "cannot write " + std::string(what) + " " + norvane::quoted(error.path) + ": " +
         error.reason;
}

bool usable(PlotState::FolderStatus status) { return status == PlotState::FolderStatus::usable; }

// Writes the held picture at `path`; what became of it.
PictureOutcome save_picture(ImageConverter& converter, const std::string& path,
                            std::string_view what, Diagnostics& diagnostics) {
  bool unchanged = false;
  if (const auto error = converter.save_gif(path, false, &unchanged)) {
    diagnostics.fail(write_failure(*error, what));
    return PictureOutcome::failed;
  }
  return unchanged ? PictureOutcome::unchanged : PictureOutcome::written;
}

}  // namespace

ExportPaths export_paths(const PlotState& state) {
  return {state.forecast_dir + file_names::temporary_bmp(state.day_index),
          state.picture_dir + file_names::current_picture(state.day_index),
          state.forecast_dir + std::string(file_names::archive_folder) +
              file_names::archive_picture(state.days[state.day_index])};
}

void salva_figura(PlotState& state, const DrawingSurface& surface, ImageConverter& converter,
                  Diagnostics& diagnostics) {
  const ExportPaths paths = export_paths(state);
  state.current_outcome = state.archive_outcome = PictureOutcome::not_written;
  const bool forecast_dir_usable = usable(state.forecast_dir_status);
  // The pictures are made from the BMP snapshot; when it cannot be written or read back, from
  // the figure in memory, which is the same picture.
  constexpr std::string_view from_memory = " (pictures written from the figure in memory)";
  bool bmp_written = false;
  bool loaded = false;
  if (forecast_dir_usable) {
    if (const auto error = surface.save_bmp(paths.temporary_bmp)) {
      diagnostics.fail(write_failure(*error, "temporary BMP") + std::string(from_memory));
    } else {
      bmp_written = true;
      if (const auto error = converter.load_bmp(paths.temporary_bmp)) {
        diagnostics.fail("cannot read temporary BMP " + norvane::quoted(error->path) + ": " +
                         error->reason + std::string(from_memory));
      } else {
        loaded = true;
      }
    }
  }
  if (!loaded) {
    std::vector<Rgb> palette;
    converter.load_indexed(surface.indexed_rows(palette));
  }
  // Both pictures say what the figure was drawn from.
  const PlotState::DayCounts& counts = state.day_counts;
  converter.set_comment(archive_record_text({counts.files_with_value, counts.files_without_value}));

  // The current picture and the archive picture lie in different folders: each is written
  // whatever became of the other.
  if (usable(state.picture_dir_status) && !state.archive_only) {
    state.current_outcome =
        save_picture(converter, paths.current_gif, "current picture", diagnostics);
  }
  if (forecast_dir_usable) {
    // The archive rules may keep the picture there (archive/archive_rule.h).
    state.archive_outcome = state.keep_archive ? PictureOutcome::kept
                                               : save_picture(converter, paths.archive_gif,
                                                              "archive picture", diagnostics);
  }
  converter.reset();
  if (!bmp_written) return;
  if (const auto error = remove_file(paths.temporary_bmp)) {
    diagnostics.fail("cannot remove temporary BMP " + norvane::quoted(error->path) + ": " +
                     error->reason);
  }
}

}  // namespace norvane
