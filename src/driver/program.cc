// SPDX-License-Identifier: MIT
#include "driver/program.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <variant>

#include "driver/backfill.h"
#include "driver/check.h"
#include "driver/command_line.h"
#include "driver/run.h"
#include "driver/source_revision.h"
#include "driver/version.h"
#include "export/image_converter.h"
#include "util/file_write.h"

namespace norvane {
namespace {

ExitStatus usage_error(const ProgramRequest& request, const std::string& message) {
  request.standard_error(std::string(Diagnostics::prefix) + message + "\n");
  request.standard_error("Try '" + std::string(program_name) + " --help'.\n");
  return ExitStatus::usage;
}

ExitStatus cannot_know_current_directory(const ProgramRequest& request) {
  Diagnostics diagnostics(request.standard_error);
  diagnostics.fail("cannot read the current directory: " + error_text(request.current_dir_error));
  return ExitStatus::failure;
}

// "norvane_foF2 1.2.0 (git 9b3ecb9)": the release and the source revision the program was built
// from, so that two builds of different sources never answer alike; the release alone for a
// build from a source archive.
std::string version_line() {
  std::string line = std::string(program_name) + " " + std::string(program_version);
  if (!source_revision.empty()) line += " (git " + std::string(source_revision) + ")";
  return line;
}

}  // namespace

ExitStatus run_program(const ProgramRequest& request) {
  const auto read = read_command_line(request.arguments, request.today);
  if (const auto* error = std::get_if<UsageError>(&read)) {
    return usage_error(request, error->message);
  }
  const CommandLine& command = std::get<CommandLine>(read);
  switch (command.action) {
    case CommandLine::Action::help:
      request.standard_output(usage_text());
      return ExitStatus::success;
    case CommandLine::Action::version:
      request.standard_output(version_line() + "\n");
      request.standard_output("giflib " + giflib_version() + "\n");
      return ExitStatus::success;
    default:
      break;
  }

  // The working folder, as the path a start in it would give as its current directory: a
  // relative folder is taken from the current directory, and links are resolved as a change
  // of directory resolves them.
  std::string working_dir = request.current_dir;
  if (command.directory) {
    std::string folder = *command.directory;
    if (!folder.starts_with('/')) {
      if (request.current_dir.empty()) return cannot_know_current_directory(request);
      folder.insert(
          0, request.current_dir.ends_with('/') ? request.current_dir : request.current_dir + "/");
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.c_str(), nullptr),
                                                               &std::free);
    struct stat info {};
    if (!resolved || ::stat(resolved.get(), &info) != 0) {
      return usage_error(request, "-C " + quoted(*command.directory) + ": " + error_text(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
      return usage_error(request, "-C " + quoted(*command.directory) + ": not a folder");
    }
    working_dir = resolved.get();
  } else if (working_dir.empty()) {
    return cannot_know_current_directory(request);
  }
  // A relative metrics file is taken from the current directory, as -C is, not from DIR.
  std::optional<std::string> metrics_file = command.metrics_file;
  if (metrics_file && !metrics_file->starts_with('/')) {
    if (request.current_dir.empty()) return cannot_know_current_directory(request);
    metrics_file->insert(
        0, request.current_dir.ends_with('/') ? request.current_dir : request.current_dir + "/");
  }

  switch (command.action) {
    case CommandLine::Action::check:
      return check({.working_dir = working_dir,
                    .today = request.today,
                    .messages = request.standard_output,
                    .clock = request.clock});
    case CommandLine::Action::backfill: {
      BackfillRequest backfill_request;
      backfill_request.working_dir = working_dir;
      backfill_request.today = request.today;
      backfill_request.clock = request.clock;
      backfill_request.redraw = command.redraw;
      backfill_request.from = command.backfill_from;
      backfill_request.to = command.backfill_to;
      backfill_request.metrics_file = metrics_file;
      backfill_request.messages = request.standard_error;
      backfill_request.summary = request.standard_output;
      // The progress only on a terminal: a log or a mail gets the summary alone.
      if (request.output_is_terminal) backfill_request.progress = request.standard_output;
      return backfill(backfill_request);
    }
    default:
      return run({.working_dir = working_dir,
                  .today = request.today,
                  .messages = request.standard_error,
                  .clock = request.clock,
                  .metrics_file = metrics_file});
  }
}

}  // namespace norvane
