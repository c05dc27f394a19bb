// SPDX-License-Identifier: MIT
// Runs the built program the way a scheduler or an operator does: in a given current directory,
// with or without arguments, collecting what it prints; several at once when a test needs them
// to meet.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace norvane::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when the program did not exit normally
  int signal = 0;        // the signal that ended it, if one did
  std::string standard_output;
  std::string standard_error;
};

struct ProgramOptions {
  // The arguments after the program's name.
  std::vector<std::string> arguments{};
  // Run as an ordinary user (nobody) even when the tests run as root, so that permissions
  // taken away from a file apply to the program; the working folder must be open to it.
  bool unprivileged = false;
  // Standard error is a pipe whose reader has gone.
  bool broken_standard_error = false;
  // Standard input, output and error are closed, as "<&- >&- 2>&-" leaves them.
  bool closed_standard_streams = false;
  // Standard output is /dev/full, where every write fails for want of room.
  bool full_standard_output = false;
};

// A started program, waited for when its result is asked.
class StartedProgram {
 public:
  StartedProgram(const std::string& current_dir, const ProgramOptions& options);
  StartedProgram(StartedProgram&& other) noexcept;
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;
  ~StartedProgram();

  void kill();
  // Whether the program has not ended yet.
  bool running();
  ProgramResult wait();

 private:
  pid_t child_ = -1;
  int status_ = -1;  // once it ended and was waited for by running()
  std::string output_path_;
  std::string error_path_;
};

ProgramResult run_program(const std::string& current_dir, const ProgramOptions& options = {});

// Makes everything below `path` readable and writable by every user, for a program run
// unprivileged.
void open_to_everyone(const std::string& path);

}  // namespace norvane::testing
