// SPDX-License-Identifier: MIT
// The monthly forecast file: the input as a values line, and as a whole forecast file read and
// drawn the way each figure draws its forecast curve.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "forecast/forecast_curve.h"
#include "forecast/forecast_file.h"
#include "fuzz_support.h"
#include "state/plot_state.h"
#include "surface/sizing.h"

namespace {

struct Figure {
  norvane::PlotState state;
  norvane::DrawingSurface surface;

  Figure() {
    norvane::impostazioni_dimensioni_e_scala_del_form(state, surface);
    state.forecast_dir = norvane::fuzz::scratch_folder();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace norvane;
  static Figure figure;

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ForecastValues values = read_forecast_values(text);
  // Each hour's value is the value of its field alone.
  for (int hour = 1; hour <= forecast_hours; ++hour) {
    if (values[hour - 1] != forecast_field_value(text, hour)) std::abort();
  }

  const std::string month = "122026";
  fuzz::write_file(forecast_file_path(figure.state.forecast_dir, month), text);
  Diagnostics diagnostics(fuzz::drop_message);
  grafico_previsione(figure.state, figure.surface, diagnostics, month);
  figure.surface.clear();
  return 0;
}
