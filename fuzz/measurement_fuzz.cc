// SPDX-License-Identifier: MIT
// Measurement files and their value field. The input is a few files of one day, read and drawn
// one after the other as a day's files are, so that the trace from one value dot to the next
// is followed too: a line "#hh:mm" begins the file of that hour and minute, and the lines up to
// the next such line are the file's. Each file's text is also read as a value field and as a
// number on its own.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "driver/day_table.h"
#include "fuzz_support.h"
#include "observations/day_reading.h"
#include "observations/observation_plot.h"
#include "state/plot_state.h"
#include "surface/sizing.h"
#include "util/input_file.h"
#include "util/number_text.h"

namespace {

struct Figure {
  norvane::PlotState state;
  norvane::DrawingSurface surface;
  norvane::fuzz::MemoryFile file;

  Figure() {
    norvane::fill_minute_labels(state);
    norvane::impostazioni_dimensioni_e_scala_del_form(state, surface);
  }
};

// The number of two digits at `at` of `text`, or -1.
int two_digits(std::string_view text, std::size_t at) {
  if (text.size() < at + 2 || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' ||
      text[at + 1] > '9') {
    return -1;
  }
  return (text[at] - '0') * 10 + text[at + 1] - '0';
}

// A number read from text is a number: never NaN.
void check_number(const std::optional<double>& number) {
  if (number && std::isnan(*number)) std::abort();
  if (number) (void)norvane::round_to_int16(*number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace norvane;
  static Figure figure;

  std::vector<Measurement> measurements;
  int files = 0;
  fuzz::for_each_section(
      {reinterpret_cast<const char*>(data), size},
      [&](std::string_view header, std::string_view content) {
        check_number(read_number(content));
        check_number(parse_observed_value(content));
        const int hour = two_digits(header, 0);
        const int minute = two_digits(header, 3);
        if (header.size() != 5 || header[2] != ':' || hour < 0 || hour > 23 || minute < 0 ||
            minute > 59 || ++files > 64) {
          return;
        }
        figure.file.set({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
        int error = 0;
        auto file = InputFile::open(figure.file.path(), &error);
        if (!file) std::abort();
        if (auto measurement = read_measurement(*file, hour, minute == 0 ? 60 : minute)) {
          measurements.push_back(*measurement);
        }
      });
  grafico_valori_autoscalati(figure.surface, measurements);
  figure.surface.clear();
  return 0;
}
