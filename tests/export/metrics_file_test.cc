// SPDX-License-Identifier: MIT
#include "export/metrics_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;

TEST(MetricsFile, WritesEachMetricWithHelpTypeAndTheStationLabel) {
  RunSummary summary;
  summary.station_folder = "rome";
  summary.finished = sys_days{2026y / 12 / 9} + 17h + 20min + 5s;
  summary.newest_measurement = sys_days{2026y / 12 / 9} + 17h + 15min;
  summary.pictures_written = 11;
  summary.archive_pictures_kept = 1;
  summary.success = true;
  const std::string labels = "{station=\"rome\"} ";
  const std::string text = metrics_text(summary);
  for (const auto& [name, value] : {std::pair{"last_run_timestamp_seconds", "1796836805"},
                                    {"last_run_success", "1"},
                                    {"newest_measurement_timestamp_seconds", "1796836500"},
                                    {"pictures_written", "11"},
                                    {"archive_pictures_kept", "1"}}) {
    const std::string metric = std::string("norvane_fof2_") + name;
    EXPECT_NE(text.find("\n# TYPE " + metric + " gauge\n" + metric + labels + value + "\n"),
              std::string::npos)
        << metric << " in\n"
        << text;
    EXPECT_NE(text.find("# HELP " + metric + " "), std::string::npos) << metric;
  }
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 15);

  // A failed run that drew no measurement.
  summary.success = false;
  summary.newest_measurement.reset();
  const std::string failed = metrics_text(summary);
  EXPECT_NE(failed.find("\nnorvane_fof2_last_run_success" + labels + "0\n"), std::string::npos);
  EXPECT_NE(failed.find("\nnorvane_fof2_newest_measurement_timestamp_seconds" + labels + "0\n"),
            std::string::npos);
}

TEST(MetricsFile, LabelValuesAreEscapedAndValidUtf8) {
  EXPECT_EQ(label_value("tucum\xC3\xA1n"), "tucum\xC3\xA1n");
  EXPECT_EQ(label_value("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  // A stray continuation byte, a cut sequence, an overlong '/', a surrogate: U+FFFD each byte.
  EXPECT_EQ(label_value("x\x80y\xE2\x82"), "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD");
  std::string five_replaced;
  for (int i = 0; i < 5; ++i) five_replaced += "\xEF\xBF\xBD";
  EXPECT_EQ(label_value("\xC0\xAF\xED\xA0\x80"), five_replaced);
  EXPECT_EQ(label_value("\xF0\x9F\x93\xA1"), "\xF0\x9F\x93\xA1");
}

TEST(MetricsFile, ReplacesTheFileWholeAndOnlyWarnsWhenItCannot) {
  testing::TempFolder folder;
  RunSummary summary;
  summary.station_folder = "rome";
  std::ostringstream messages;
  Diagnostics diagnostics(testing::into(messages));
  folder.write("rome.prom", "old content that is longer than the new\n");
  write_metrics_file(folder / "rome.prom", summary, diagnostics);
  EXPECT_EQ(folder.read("rome.prom"), metrics_text(summary));
  EXPECT_EQ(folder.list(), std::vector<std::string>{"rome.prom"});

  write_metrics_file(folder / "missing/rome.prom", summary, diagnostics);
  EXPECT_FALSE(diagnostics.failed());
  EXPECT_EQ(messages.str(), "norvane_foF2: cannot write metrics file \"" + folder.path() +
                                "missing/rome.prom\": No such file or directory (monitoring "
                                "not told of this run)\n");
}

}  // namespace
}  // namespace norvane
