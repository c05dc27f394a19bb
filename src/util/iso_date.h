// SPDX-License-Identifier: MIT
// Dates leave and enter the program written YYYY-MM-DD: on the command line (--backfill), in
// its messages, and in the files that pages, scripts and spreadsheets read, with times of day
// as HH:MM (UT) and moments as YYYY-MM-DDTHH:MM:SSZ. One way to write each and one to read them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace norvane {

// A date as YYYY-MM-DD.
std::string iso_date(std::chrono::year_month_day date);

// The date of `text` written YYYY-MM-DD, when it is one.
std::optional<std::chrono::year_month_day> read_date(std::string_view text);

// A time of day given in minutes after midnight (0 to 1439) as HH:MM.
std::string time_of_day_text(int minute_of_day);

// The minutes after midnight of `text` written HH:MM (00:00 to 23:59), when it is one.
std::optional<int> read_time_of_day(std::string_view text);

// A moment as YYYY-MM-DDTHH:MM:SSZ, in UTC.
std::string iso_moment(std::chrono::sys_seconds moment);

}  // namespace norvane
