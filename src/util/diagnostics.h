// SPDX-License-Identifier: MIT
// Nobody watches a run: what went wrong reaches the operator as a line in a cron mail or a
// journal, or not at all. Every procedure reports here, and this is the only place that
// prints. Each distinct message is printed once per run, so that a cause that costs all six
// days (a missing folder, say) makes one line, not six. Failures that cost the run pictures or
// settings also make the run's exit status a failure; warnings (a missing forecast, an unknown
// station) do not, since the pictures were still written.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvane {

// Where messages go, a whole line at a time with its line end: standard error in the program, a
// string in tests. (Not a stream: the program's start would then pay for setting up the
// standard streams and their locale, about a fiftieth of a whole run.)
using MessageSink = std::function<void(std::string_view line)>;

class Diagnostics {
 public:
  static constexpr std::string_view prefix = "norvane_foF2: ";

  explicit Diagnostics(MessageSink out) : out_(std::move(out)) {}

  // Something went wrong that cost the run a file or a setting.
  void fail(const std::string& message);
  // Something worth the operator's attention that does not cost the run its pictures.
  void warn(const std::string& message);

  bool failed() const { return failed_; }
  // The warnings printed, each once, in the order printed: what monitoring counts, and what a
  // check lists as the run's warnings. A message already printed as a failure is no warning.
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  bool print_once(const std::string& message);

  MessageSink out_;
  std::set<std::string, std::less<>> printed_;
  std::vector<std::string> warnings_;
  bool failed_ = false;
};

// "1 file", "2 files": a count and what it counts, in the plural when it is not 1.
std::string count_text(long count, std::string_view thing);

// `text` in double quotes, with control characters and bytes outside ASCII written as \xNN,
// so that a file name or a line from a data file cannot garble the operator's terminal or mail.
std::string quoted(std::string_view text);

}  // namespace norvane
