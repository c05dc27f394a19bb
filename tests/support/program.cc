// SPDX-License-Identifier: MIT
#include "support/program.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

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

std::string temporary_file(const char* pattern, int& fd) {
  std::string path = pattern;
  fd = ::mkstemp(path.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  return path;
}

}  // namespace

StartedProgram::StartedProgram(const std::string& current_dir, const ProgramOptions& options) {
  std::vector<char*> argv{const_cast<char*>(NORVANE_PROGRAM)};
  for (const std::string& argument : options.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  int output_fd = -1;
  int error_fd = -1;
  output_path_ = temporary_file("/tmp/norvane_out_XXXXXX", output_fd);
  error_path_ = temporary_file("/tmp/norvane_err_XXXXXX", error_fd);
  int broken_pipe[2] = {-1, -1};
  if (options.broken_standard_error) {
    if (::pipe(broken_pipe) != 0) throw std::runtime_error("pipe failed");
    ::close(broken_pipe[0]);
  }

  child_ = ::fork();
  if (child_ < 0) throw std::runtime_error("fork failed");
  if (child_ == 0) {
    // The program is to meet a broken pipe as a scheduler would give it, not the test's own
    // signal settings.
    ::signal(SIGPIPE, SIG_DFL);
    // Opened before privileges are dropped: the build folder may lie where nobody cannot reach
    // (a clone in /root, say), while the program file itself may be run by anyone.
    const int program_fd = ::open(NORVANE_PROGRAM, O_RDONLY | O_CLOEXEC);
    if (program_fd < 0) ::_exit(127);
    if (options.unprivileged && ::geteuid() == 0) {
      const gid_t nobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
        ::_exit(125);
      }
    }
    if (::chdir(current_dir.c_str()) != 0) ::_exit(126);
    ::dup2(options.full_standard_output ? ::open("/dev/full", O_WRONLY) : output_fd, STDOUT_FILENO);
    ::dup2(options.broken_standard_error ? broken_pipe[1] : error_fd, STDERR_FILENO);
    if (options.closed_standard_streams) {
      for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::close(fd);
    }
    ::fexecve(program_fd, argv.data(), environ);
    ::_exit(127);
  }
  ::close(output_fd);
  ::close(error_fd);
  if (options.broken_standard_error) ::close(broken_pipe[1]);
}

StartedProgram::StartedProgram(StartedProgram&& other) noexcept
    : child_(std::exchange(other.child_, -1)),
      status_(other.status_),
      output_path_(std::move(other.output_path_)),
      error_path_(std::move(other.error_path_)) {}

StartedProgram::~StartedProgram() {
  if (child_ > 0) wait();
}

void StartedProgram::kill() {
  if (child_ > 0) ::kill(child_, SIGKILL);
}

bool StartedProgram::running() {
  if (child_ <= 0 || status_ >= 0) return false;
  int status = 0;
  if (::waitpid(child_, &status, WNOHANG) != child_) return true;
  status_ = status;
  return false;
}

ProgramResult StartedProgram::wait() {
  ProgramResult result;
  if (child_ <= 0) return result;
  int status = status_;
  if (status_ < 0) ::waitpid(child_, &status, 0);
  child_ = -1;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.standard_output = read_all(output_path_);
  result.standard_error = read_all(error_path_);
  ::unlink(output_path_.c_str());
  ::unlink(error_path_.c_str());
  return result;
}

ProgramResult run_program(const std::string& current_dir, const ProgramOptions& options) {
  return StartedProgram(current_dir, options).wait();
}

void open_to_everyone(const std::string& path) {
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::all, fs::perm_options::add);
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    fs::permissions(entry.path(),
                    entry.is_directory() ? fs::perms::all
                                         : fs::perms::owner_read | fs::perms::owner_write |
                                               fs::perms::group_read | fs::perms::group_write |
                                               fs::perms::others_read | fs::perms::others_write,
                    fs::perm_options::add);
  }
}

}  // namespace norvane::testing
