// SPDX-License-Identifier: MIT
#include "export/metrics_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace norvane {
namespace {

TEST(MetricsFile, LabelValuesAreEscapedAndValidUtf8) {
  EXPECT_EQ(label_value("tucum\xC3\xA1n \xF0\x9F\x93\xA1"), "tucum\xC3\xA1n \xF0\x9F\x93\xA1");
  EXPECT_EQ(label_value("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  // A stray continuation byte, a cut sequence, an overlong '/', a surrogate: U+FFFD a byte.
  const std::string replaced = "\xEF\xBF\xBD";
  EXPECT_EQ(label_value("x\x80y\xE2\x82"), "x" + replaced + "y" + replaced + replaced);
  EXPECT_EQ(label_value("\xC0\xAF\xED\xA0\x80"),
            replaced + replaced + replaced + replaced + replaced);
}

TEST(MetricsFile, GivesTheNewestValueAndItsCurveOnlyWhereThereAreThem) {
  using namespace std::chrono;
  RunSummary summary;
  summary.station_folder = "rome";
  summary.drew = true;
  summary.newest_measurement = sys_seconds{seconds{1796909400}};
  summary.newest = NewestMeasurement{13 * 60 + 30, 7.3, 8.1, 8.25, -11.5};
  const auto sample = [](const std::string& text, const std::string& name) {
    const std::string start = "\nnorvane_fof2_" + name + "{station=\"rome\"} ";
    const auto at = text.find(start);
    if (at == std::string::npos) return std::string("absent");
    return text.substr(at + start.size(), text.find('\n', at + 1) - at - start.size());
  };
  std::string text = metrics_text(summary);
  EXPECT_EQ(sample(text, "newest_measurement_mhz"), "7.3") << text;
  EXPECT_EQ(sample(text, "newest_curve_mhz"), "8.25") << text;
  // A newest measurement without a value, at a time without a curve: both are left out, not
  // taken from the file before.
  summary.newest->value_mhz.reset();
  summary.newest->curve_mhz.reset();
  const StandingFigures before{.newest_measurement = 1796900000,
                               .newest_measurement_mhz = 5.1,
                               .newest_curve_mhz = 0.0,
                               .days_without_forecast = 0};
  text = metrics_text(summary, before);
  EXPECT_EQ(sample(text, "newest_measurement_mhz"), "absent") << text;
  EXPECT_EQ(sample(text, "newest_curve_mhz"), "absent") << text;
  // A run that drew nothing repeats them.
  RunSummary refused;
  refused.station_folder = "rome";
  text = metrics_text(refused, before);
  EXPECT_EQ(sample(text, "newest_measurement_timestamp_seconds"), "1796900000") << text;
  EXPECT_EQ(sample(text, "newest_measurement_mhz"), "5.1") << text;
  EXPECT_EQ(sample(text, "newest_curve_mhz"), "0") << text;
}

}  // namespace
}  // namespace norvane
