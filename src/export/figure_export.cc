#include "export/figure_export.h"

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

}  // namespace

ExportPaths export_paths(const PlotState& state, const std::string& file_previsioni) {
  const std::string slot = std::to_string(state.day_index);
  const std::string year(columns(file_previsioni, 3, 4));
  return {state.forecast_dir + "grafico" + slot + ".bmp",
          state.picture_dir + "plotfoF2" + slot + ".gif",
          state.forecast_dir + std::string(archive_folder_name) + year +
              state.doy_codes[state.day_index] + ".gif"};
}

void salva_figura(const PlotState& state, const DrawingSurface& surface, ImageConverter& converter,
                  Diagnostics& diagnostics, const std::string& file_previsioni) {
  const ExportPaths paths = export_paths(state, file_previsioni);
  if (const auto error = surface.save_bmp(paths.temporary_bmp)) {
    diagnostics.fail(write_failure(*error, "temporary BMP") + " (no pictures written)");
    return;
  }
  if (const auto error = converter.load_bmp(paths.temporary_bmp)) {
    diagnostics.fail("cannot read temporary BMP " + quoted(error->path) + ": " + error->reason +
                     " (no pictures written)");
    return;
  }
  if (const auto error = converter.save_gif(paths.current_gif, false)) {
    diagnostics.fail(write_failure(*error, "current picture") +
                     " (archive pictures not written either)");
    return;
  }
  if (const auto error = converter.save_gif(paths.archive_gif, false)) {
    diagnostics.fail(write_failure(*error, "archive picture"));
    return;
  }
  converter.reset();
  if (const auto error = remove_file(paths.temporary_bmp)) {
    diagnostics.fail("cannot remove temporary BMP " + quoted(error->path) + ": " + error->reason);
  }
}

}  // namespace norvane
