// SPDX-License-Identifier: MIT
#include "export/metrics_file.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "util/file_write.h"

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

// One metric: its HELP and TYPE lines and its one sample.
void add_gauge(std::string& out, std::string_view name, std::string_view help,
               const std::string& labels, std::int64_t value) {
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
  out += std::to_string(value);
  out += '\n';
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

std::string metrics_text(const RunSummary& summary) {
  const std::string labels = "{station=\"" + label_value(summary.station_folder) + "\"}";
  std::string out;
  add_gauge(out, "norvane_fof2_last_run_timestamp_seconds",
            "When the last run of norvane_foF2 ended, in seconds since the epoch.", labels,
            summary.finished.time_since_epoch().count());
  add_gauge(out, "norvane_fof2_last_run_success",
            "1 when the last run of norvane_foF2 succeeded (exit status 0), else 0.", labels,
            summary.success ? 1 : 0);
  add_gauge(
      out, "norvane_fof2_newest_measurement_timestamp_seconds",
      "Time of the newest measurement file the last run drew, from its name, in seconds "
      "since the epoch; 0 when it drew none.",
      labels,
      summary.newest_measurement ? summary.newest_measurement->time_since_epoch().count() : 0);
  add_gauge(out, "norvane_fof2_pictures_written",
            "Pictures the last run wrote, current and archive, including those it found "
            "unchanged.",
            labels, summary.pictures_written);
  add_gauge(out, "norvane_fof2_archive_pictures_kept",
            "Existing archive pictures the last run kept as they were instead of redrawing them.",
            labels, summary.archive_pictures_kept);
  return out;
}

void write_metrics_file(const std::string& path, const RunSummary& summary,
                        Diagnostics& diagnostics) {
  // Whatever failed after the summary was completed (the run record, say) fails the run too:
  // the file tells the run's exit status.
  RunSummary told = summary;
  told.success = summary.success && !diagnostics.failed();
  const std::string text = metrics_text(told);
  const std::span bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  if (const auto error = write_file_atomically(path, bytes)) {
    diagnostics.warn("cannot write metrics file " + quoted(path) + ": " + error->reason +
                     " (monitoring not told of this run)");
  }
}

}  // namespace norvane
