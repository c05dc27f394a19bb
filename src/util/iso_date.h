// SPDX-License-Identifier: MIT
// Dates leave and enter the program written YYYY-MM-DD: on the command line (--backfill), in
// its messages, and in the JSON files that pages and scripts read. One way to write them and
// one to read them.
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

}  // namespace norvane
