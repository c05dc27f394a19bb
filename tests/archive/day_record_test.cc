// SPDX-License-Identifier: MIT
#include "archive/day_record.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;

// 5 December 2026, drawn from three files and a file gone: 00:15 without a value, 00:30 at
// 4.5 MHz, 23:45 at 6.1, and a garbled field read as 0.11 tenths at 12:00; the forecast 4.0 MHz
// at 0 UT rising 0.1 MHz an hour, without a value at 12 UT.
DayRecord sample_record() {
  ForecastValues forecast{};
  for (int hour = 0; hour < 24; ++hour) forecast[hour] = static_cast<std::int16_t>(40 + hour);
  forecast[12].reset();
  return make_day_record(Day::of(2026y / December / 5d), RecordedStation{"Rome station", 4},
                         forecast,
                         {{23, 45, 61.0, "RM041_2026339234500.TXT"},
                          {0, 30, 45.0, "RM041_2026339003000.TXT"},
                          {12, 60, 0.11, "RM041_2026339120000.TXT"},
                          {0, 15, std::nullopt, "RM041_2026339001500.TXT"}},
                         "2026-12-05T23:50:00Z", "norvane_foF2 1.1.0");
}

TEST(DayRecord, KeepsWhatWasDrawnExactlyAndRefusesWhatItCannotBe) {
  const DayRecord record = sample_record();
  const Json file = day_record_json(record);
  EXPECT_EQ(
      file["measurements"][0],
      Json::parse(R"({"time": "00:15", "file": "RM041_2026339001500.TXT", "value_mhz": null})"));
  EXPECT_EQ(file["measurements"][2],
            Json::parse(R"({"time": "12:00", "file": "RM041_2026339120000.TXT",
                            "value_mhz": 0.011, "tenths": 0.11})"));
  EXPECT_EQ(file["counts"], Json::parse(R"({"with_value": 3, "without_value": 1})"));
  EXPECT_EQ(file["forecast_mhz"][12], nullptr);

  // Written and read back, it is the same figure to the last bit.
  std::string problem;
  const auto read = day_record_of(Json::parse(file.dump()), record.day, &problem);
  ASSERT_TRUE(read) << problem;
  EXPECT_TRUE(read->same_figure(record));
  EXPECT_EQ(read->drawn_at, record.drawn_at);

  const auto refused = [&](const std::string& member, const Json& value) {
    Json changed = file;
    changed[member] = value;
    return !day_record_of(changed, record.day, &problem);
  };
  EXPECT_TRUE(refused("date", "2026-12-06"));
  EXPECT_TRUE(refused("counts", Json::parse(R"({"with_value": 4, "without_value": 1})")));
  Json swapped = file["measurements"];
  std::swap(swapped[0], swapped[1]);
  EXPECT_TRUE(refused("measurements", swapped));
  EXPECT_EQ(problem, "measurement 2 is no measurement of a later time");
  EXPECT_TRUE(refused("station", Json::parse(R"({"first_line": "Rome", "style": 7})")));
  EXPECT_TRUE(refused("forecast_mhz", Json::array({4.0})));
  EXPECT_FALSE(refused("station", nullptr));
}

TEST(DayRecord, ItsFiguresAndCsvFollowTheForecastCurve) {
  DayRecord record = sample_record();
  // 14:00 has the value of 23:45.
  record.measurements.insert(record.measurements.end() - 1,
                             {14, 60, 61.0, "RM041_2026339140000.TXT"});
  const DayFigures figures = figures_of(record);
  EXPECT_EQ(figures.with_value, 4);
  EXPECT_EQ(figures.without_value, 1);
  EXPECT_EQ(figures.min_mhz, 0.11 / 10);
  EXPECT_EQ(figures.max_mhz, 6.1);
  // The highest value, 6.1 MHz, is that of 14:00 and 23:45: the earliest is given.
  const DayExtremes extremes = extremes_of(record);
  EXPECT_EQ(extremes.lowest, (MeasuredValue{12 * 60, 0.11 / 10}));
  EXPECT_EQ(extremes.highest, (MeasuredValue{14 * 60, 6.1}));
  ASSERT_TRUE(figures.newest);
  EXPECT_EQ(figures.newest->minute, 23 * 60 + 45);
  EXPECT_EQ(figures.newest->forecast_mhz, 6.3);
  EXPECT_EQ(figures.newest->curve_mhz, std::nullopt);  // no curve after 23 UT
  // 00:30 lies half-way between the dots of 4.0 and 4.1 MHz: 4.5 is 11.1 % above 4.05; 6.1 at
  // 14:00 is 12.9 % above 5.4. 12:00 has no dot, 23:45 no curve.
  EXPECT_EQ(figures.mean_deviation_percent, 12.0);
  EXPECT_EQ(day_csv_text(record),
            "time_ut,fof2_mhz,forecast_mhz\n"
            "2026-12-05T00:15Z,,4.03\n"
            "2026-12-05T00:30Z,4.5,4.05\n"
            "2026-12-05T12:00Z,0.0,\n"
            "2026-12-05T14:00Z,6.1,5.40\n"
            "2026-12-05T23:45Z,6.1,\n");

  // At 16:15 the curve is 5.625 MHz: the record and the CSV round it alike, away from zero.
  const DayRecord half =
      make_day_record(record.day, record.station, record.forecast,
                      {{16, 15, 57.0, "RM041_2026339161500.TXT"}}, record.drawn_at, record.program);
  EXPECT_EQ(figures_of(half).newest->curve_mhz, 5.63);
  EXPECT_EQ(day_csv_text(half), "time_ut,fof2_mhz,forecast_mhz\n2026-12-05T16:15Z,5.7,5.63\n");
}

TEST(DayRecord, IsWrittenOnlyWhenWhatItRecordsChanges) {
  testing::TempFolder folder;
  std::ostringstream messages;
  Diagnostics diagnostics(testing::into(messages));
  const DayRecord record = sample_record();
  const ArchiveDayFiles files = archive_day_files(folder.path(), record.day);
  EXPECT_EQ(keep_day_record(files, record, std::nullopt, diagnostics), RecordWrite::written);
  const DayRecordRead read = read_day_record(files.record, record.day, diagnostics);
  ASSERT_TRUE(read.record) << read.problem;

  // Drawn again later, the same figure leaves the record as it was; a CSV gone is written again.
  DayRecord again = record;
  again.drawn_at = "2026-12-06T00:05:00Z";
  EXPECT_EQ(keep_day_record(files, again, head_of(*read.record), diagnostics),
            RecordWrite::unchanged);
  std::remove(files.csv.c_str());
  EXPECT_EQ(keep_day_record(files, again, head_of(*read.record), diagnostics),
            RecordWrite::unchanged);
  EXPECT_EQ(folder.read("2026339.csv"), day_csv_text(record));
  EXPECT_EQ(read_day_record(files.record, record.day, diagnostics).record->drawn_at,
            record.drawn_at);

  // A record without its picture's encoding, as an earlier version wrote it, gains it and keeps
  // when its figure was drawn; another encoding of the figure is a figure drawn anew.
  again.picture = EncodedPicture{1, 2, 3};
  EXPECT_EQ(keep_day_record(files, again, head_of(*read.record), diagnostics),
            RecordWrite::written);
  const DayRecordRead gained = read_day_record(files.record, record.day, diagnostics);
  ASSERT_TRUE(gained.record) << gained.problem;
  EXPECT_EQ(gained.record->picture, again.picture);
  EXPECT_EQ(gained.record->drawn_at, record.drawn_at);
  again.picture->picture_digest = 4;
  EXPECT_EQ(keep_day_record(files, again, head_of(*gained.record), diagnostics),
            RecordWrite::written);
  EXPECT_EQ(read_day_record(files.record, record.day, diagnostics).record->drawn_at,
            again.drawn_at);

  again.measurements.pop_back();
  EXPECT_EQ(keep_day_record(files, again, head_of(*read.record), diagnostics),
            RecordWrite::written);
  EXPECT_EQ(read_day_record(files.record, record.day, diagnostics).record->drawn_at,
            again.drawn_at);
  EXPECT_EQ(messages.str(), "");

  folder.write("2026339.json", "{\"format\": \"norvane_foF2 day record\"");
  EXPECT_EQ(read_day_record(files.record, record.day, diagnostics).status,
            JsonRead::Status::damaged);
  EXPECT_EQ(messages.str(), "norvane_foF2: day record \"" + files.record +
                                "\" is damaged (not valid JSON (at byte 37)): taken as missing\n");
}

}  // namespace
}  // namespace norvane
