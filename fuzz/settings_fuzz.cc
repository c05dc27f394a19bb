// SPDX-License-Identifier: MIT
// The settings file as the run reads it: the input becomes norvane_foF2.ini in a working folder
// of its own, and the settings are read from there.
#include <cstddef>
#include <cstdint>

#include "driver/settings.h"
#include "fuzz_support.h"
#include "state/file_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace norvane;
  static const std::string working_folder = fuzz::scratch_folder();
  fuzz::write_file(working_folder + std::string(file_names::settings), {data, size});
  PlotState state;
  Diagnostics diagnostics(fuzz::drop_message);
  read_settings(state, working_folder, diagnostics);
  return 0;
}
