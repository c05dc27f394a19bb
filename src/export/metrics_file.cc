// SPDX-License-Identifier: MIT
#include "export/metrics_file.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

#include "util/file_write.h"
#include "util/input_file.h"

namespace norvane {
namespace {

// The length of the valid UTF-8 sequence that starts `text`, or 0 when it starts with none
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The range the second byte must lie in, narrower than 80..BF after some lead bytes.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

constexpr std::string_view newest_measurement_name =
    "norvane_fof2_newest_measurement_timestamp_seconds";
constexpr std::string_view newest_value_name = "norvane_fof2_newest_measurement_mhz";
constexpr std::string_view newest_curve_name = "norvane_fof2_newest_curve_mhz";
constexpr std::string_view days_without_forecast_name = "norvane_fof2_days_without_forecast";

// A sample's value: an integer as it is, a value in MHz in the shortest form that reads back as
// the same number ("7.3", "8.25").
std::string sample_text(std::int64_t value) { return std::to_string(value); }
std::string sample_text(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc{} ? std::string(text, end) : "NaN";
}

// The labels of every sample of the station's file.
std::string labels_of(std::string_view station_folder) {
  return "{station=\"" + label_value(station_folder) + "\"}";
}

// One metric: its HELP and TYPE lines and its one sample; nothing when it has no value.
template <typename Number>
void add_gauge(std::string& out, std::string_view name, std::string_view help,
               const std::string& labels, std::optional<Number> value) {
  if (!value) return;
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += " gauge\n";
  out += name;
  out += labels;
  out += ' ';
  out += sample_text(*value);
  out += '\n';
}
void add_gauge(std::string& out, std::string_view name, std::string_view help,
               const std::string& labels, std::int64_t value) {
  add_gauge(out, name, help, labels, std::optional<std::int64_t>(value));
}

}  // namespace

std::string label_value(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = utf8_sequence_length(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
      text.remove_prefix(1);
      continue;
    }
    const char c = text.front();
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

StandingFigures read_standing_figures(const std::string& path, std::string_view station_folder) {
  StandingFigures figures;
  int error = 0;
  auto file = InputFile::open(path, &error);
  if (!file) return figures;
  const std::string labels = labels_of(station_folder);
  // The sample of `name`, from a line `name{labels} value`, into `value` when it is one.
  const auto sample = [&]<typename Number>(std::string_view line, std::string_view name,
                                           std::optional<Number>& value) {
    if (!line.starts_with(name)) return;
    line.remove_prefix(name.size());
    if (!line.starts_with(labels) || line.size() <= labels.size() || line[labels.size()] != ' ') {
      return;
    }
    line.remove_prefix(labels.size() + 1);
    Number number{};
    const auto [end, result] = std::from_chars(line.data(), line.data() + line.size(), number);
    if (result == std::errc{} && end == line.data() + line.size()) value = number;
  };
  // The file this program writes is a few lines long; a longer one is not read to its end.
  std::string line;
  for (int lines = 0; lines < 100 && file->read_line(line); ++lines) {
    sample(line, newest_measurement_name, figures.newest_measurement);
    sample(line, newest_value_name, figures.newest_measurement_mhz);
    sample(line, newest_curve_name, figures.newest_curve_mhz);
    sample(line, days_without_forecast_name, figures.days_without_forecast);
  }
  return figures;
}

std::string metrics_text(const RunSummary& summary, const StandingFigures& standing) {
  const std::string labels = labels_of(summary.station_folder);
  // What only a run that drew can tell.
  const auto drawn = [&](std::int64_t value) {
    return summary.drew ? std::optional<std::int64_t>(value) : std::nullopt;
  };
  std::optional<std::int64_t> newest = standing.newest_measurement;
  std::optional<double> newest_mhz = standing.newest_measurement_mhz;
  std::optional<double> newest_curve = standing.newest_curve_mhz;
  if (summary.newest_measurement) {
    newest = summary.newest_measurement->time_since_epoch().count();
    newest_mhz = summary.newest ? summary.newest->value_mhz : std::nullopt;
    newest_curve = summary.newest ? summary.newest->curve_mhz : std::nullopt;
  }
  std::optional<std::int64_t> without_forecast = standing.days_without_forecast;
  if (summary.drew) without_forecast = summary.days_without_forecast;

  std::string out;
  add_gauge(out, "norvane_fof2_last_run_timestamp_seconds",
            "When the last run of norvane_foF2 ended, in seconds since the epoch.", labels,
            summary.finished.time_since_epoch().count());
  add_gauge(out, "norvane_fof2_last_run_success",
            "1 when the last run of norvane_foF2 succeeded (exit status 0), else 0.", labels,
            std::optional<std::int64_t>(summary.success ? 1 : 0));
  add_gauge(out, "norvane_fof2_last_run_warnings",
            "Warnings the last run of norvane_foF2 printed, each distinct one counted once.",
            labels, std::optional<std::int64_t>(summary.warnings));
  add_gauge(out, newest_measurement_name,
            "Time of the newest measurement file drawn, from its name, in seconds since the "
            "epoch; a run that drew none repeats the value before it.",
            labels, newest);
  add_gauge(out, newest_value_name,
            "Value of the newest measurement drawn, in MHz; left out when it has none; a run "
            "that drew none repeats the value before it.",
            labels, newest_mhz);
  add_gauge(out, newest_curve_name,
            "Value the forecast curve shows at the time of the newest measurement drawn, in "
            "MHz; left out where no curve is drawn; a run that drew none repeats the value "
            "before it.",
            labels, newest_curve);
  add_gauge(out, days_without_forecast_name,
            "Figures of the six days drawn without a forecast curve (no forecast file, or one "
            "without a value); a run that drew nothing repeats the value before it.",
            labels, without_forecast);
  add_gauge(out, "norvane_fof2_pictures_written",
            "Pictures the last run wrote, current and archive, including those it found "
            "unchanged; left out when it could not start.",
            labels, drawn(summary.pictures_written));
  add_gauge(out, "norvane_fof2_archive_pictures_kept",
            "Existing archive pictures the last run kept as they were instead of redrawing them; "
            "left out when it could not start.",
            labels, drawn(summary.archive_pictures_kept));
  return out;
}

void write_metrics_file(const std::string& path, const RunSummary& summary,
                        Diagnostics& diagnostics) {
  // Whatever failed after the summary was completed (the run record, say) fails the run too:
  // the file tells the run's exit status.
  RunSummary told = summary;
  told.success = summary.success && !diagnostics.failed();
  told.warnings = static_cast<int>(diagnostics.warnings().size());
  StandingFigures standing;
  if (!summary.drew || !summary.newest_measurement) {
    standing = read_standing_figures(path, summary.station_folder);
  }
  const std::string text = metrics_text(told, standing);
  const std::span bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  if (const auto error = write_file_atomically(path, bytes)) {
    diagnostics.warn("cannot write metrics file " + quoted(path) + ": " + error->reason +
                     " (monitoring not told of this run)");
  }
}

}  // namespace norvane
