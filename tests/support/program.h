// Runs the built program the way a scheduler does: no arguments, in a given working folder,
// collecting what it prints.
#pragma once

#include <string>

namespace norvane::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string standard_output;
  std::string standard_error;
};

ProgramResult run_program(const std::string& working_dir);

}  // namespace norvane::testing
