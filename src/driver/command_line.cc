// SPDX-License-Identifier: MIT
#include "driver/command_line.h"

#include <utility>

#include "driver/backfill.h"
#include "util/diagnostics.h"

namespace norvane {
namespace {

using namespace std::chrono;

UsageError error(std::string message) { return {std::move(message)}; }

}  // namespace

std::variant<CommandLine, UsageError> read_command_line(std::span<const std::string> arguments,
                                                        year_month_day today) {
  CommandLine command;
  bool help = false;
  bool version = false;
  bool check = false;
  bool redraw = false;
  std::optional<std::pair<std::string, std::string>> backfill;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool has_next = i + 1 < arguments.size();
    if (argument == "--") {
      if (has_next) return error("unexpected argument " + quoted(arguments[i + 1]));
      break;
    }
    if (argument == "-h" || argument == "--help") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (argument == "--check") {
      check = true;
    } else if (argument == "--redraw") {
      redraw = true;
    } else if (argument == "--backfill") {
      if (backfill) return error("--backfill given more than once");
      if (i + 2 >= arguments.size()) {
        return error("--backfill needs two dates, FROM and TO, written YYYY-MM-DD");
      }
      backfill.emplace(arguments[i + 1], arguments[i + 2]);
      i += 2;
    } else if (argument.starts_with("-C") || argument == "--directory" ||
               argument.starts_with("--directory=")) {
      const bool long_form = argument.starts_with("--");
      const std::string_view option = long_form ? "--directory" : "-C";
      std::string value;
      if (argument.size() > option.size()) {
        value = argument.substr(option.size() + (long_form ? 1 : 0));
      } else if (has_next) {
        value = arguments[++i];
      } else {
        return error("option " + std::string(option) + " needs a folder");
      }
      // An empty name would be the current directory: a scheduler line whose variable is unset
      // must not run where it happens to start.
      if (value.empty()) return error(std::string(option) + " \"\": an empty folder name");
      if (command.directory) return error("-C (--directory) given more than once");
      command.directory = std::move(value);
    } else if (argument == "--metrics" || argument.starts_with("--metrics=")) {
      std::string value;
      if (argument.size() > 9) {
        value = argument.substr(10);
      } else if (has_next) {
        value = arguments[++i];
      } else {
        return error("option --metrics needs a file");
      }
      if (value.empty()) return error("--metrics \"\": an empty file name");
      if (command.metrics_file) return error("--metrics given more than once");
      command.metrics_file = std::move(value);
    } else if (argument.starts_with("--") && argument.find('=') != std::string::npos) {
      const std::string name = argument.substr(0, argument.find('='));
      if (name == "--help" || name == "--version" || name == "--check" || name == "--redraw") {
        return error("option " + name + " takes no value");
      }
      if (name == "--backfill") {
        return error("option --backfill takes its two dates as the two arguments after it");
      }
      return error("unknown option " + quoted(argument));
    } else if (argument.size() > 1 && argument.front() == '-') {
      return error("unknown option " + quoted(argument));
    } else {
      return error("unexpected argument " + quoted(argument));
    }
  }

  if (check && backfill) return error("--check and --backfill do not go together");
  if (check && command.metrics_file) return error("--check and --metrics do not go together");
  if (redraw && !backfill) return error("--redraw goes with --backfill only");
  if (help) {
    command.action = CommandLine::Action::help;
  } else if (version) {
    command.action = CommandLine::Action::version;
  } else if (check) {
    command.action = CommandLine::Action::check;
  } else if (backfill) {
    const auto from = read_date(backfill->first);
    const auto to = read_date(backfill->second);
    if (!from)
      return error("--backfill: FROM " + quoted(backfill->first) + " is not a date YYYY-MM-DD");
    if (!to)
      return error("--backfill: TO " + quoted(backfill->second) + " is not a date YYYY-MM-DD");
    // The calendar the stations' files are named in starts no earlier than this.
    constexpr year earliest_year{1900};
    if (from->year() < earliest_year) {
      return error("--backfill: FROM " + iso_date(*from) + " is before 1900");
    }
    if (sys_days{*from} > sys_days{*to}) {
      return error("--backfill: FROM " + iso_date(*from) + " is after TO " + iso_date(*to));
    }
    if (sys_days{*to} > sys_days{today}) {
      return error("--backfill: TO " + iso_date(*to) + " is after today, " + iso_date(today));
    }
    command.action = CommandLine::Action::backfill;
    command.backfill_from = *from;
    command.backfill_to = *to;
    command.redraw = redraw;
  }
  return command;
}

std::string_view usage_text() {
  return "Usage: norvane_foF2 [-C DIR] [--metrics FILE] [--backfill FROM TO [--redraw]]\n"
         "       norvane_foF2 [-C DIR] --check\n"
         "       norvane_foF2 -h | --help\n"
         "       norvane_foF2 --version\n"
         "Without options, draws the foF2 figures of the last six days as the settings file\n"
         "norvane_foF2.ini in the working folder (the current directory) says.\n"
         "\n"
         "  -C DIR, --directory=DIR  work as if started in DIR\n"
         "  --check                  report what a run would do, without doing it\n"
         "  --backfill FROM TO       draw the archive pictures of the days FROM to TO "
         "(YYYY-MM-DD)\n"
         "  --redraw                 with --backfill: replace archive pictures even where they\n"
         "                           show more measurements than the folder holds now\n"
         "  --metrics=FILE           write what the run did to FILE, for Prometheus\n"
         "  -h, --help               show this help and exit\n"
         "  --version                show the version and exit\n"
         "\n"
         "Exit status: 0 all twelve pictures written (--check: a run would write them),\n"
         "1 a run that failed in part (--check: a run would fail), 2 usage error.\n";
}

}  // namespace norvane
