#include "support/program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace norvane::testing {
namespace {

std::string read_all(const std::string& path) {
  std::string content;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
    std::fclose(file);
  }
  return content;
}

}  // namespace

ProgramResult run_program(const std::string& working_dir) {
  char output_template[] = "/tmp/norvane_out_XXXXXX";
  char error_template[] = "/tmp/norvane_err_XXXXXX";
  const int output_fd = ::mkstemp(output_template);
  const int error_fd = ::mkstemp(error_template);
  if (output_fd < 0 || error_fd < 0) throw std::runtime_error("mkstemp failed");

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (::chdir(working_dir.c_str()) != 0) ::_exit(126);
    ::dup2(output_fd, STDOUT_FILENO);
    ::dup2(error_fd, STDERR_FILENO);
    ::execl(NORVANE_PROGRAM, NORVANE_PROGRAM, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(output_fd);
  ::close(error_fd);

  ProgramResult result;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.standard_output = read_all(output_template);
  result.standard_error = read_all(error_template);
  ::unlink(output_template);
  ::unlink(error_template);
  return result;
}

}  // namespace norvane::testing
