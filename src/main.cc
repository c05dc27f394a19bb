// SPDX-License-Identifier: MIT
// The program's entry: it reads what only the process knows (its arguments, its current
// directory and today's local date) and hands them, with its two output streams, to the driver.
// Everything else lives in the core library.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "driver/program.h"
#include "util/diagnostics.h"

namespace {

// The current directory, or "" with `*error` set when it cannot be known (it was removed, say).
std::string current_directory(int* error) {
  std::string buffer(4096, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      *error = errno;
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
  return buffer.c_str();
}

// Writes `text` to `fd`, whole unless it fails; returns 0, or the errno value of the failure.
int write_to(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : EIO;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// The first failure to write standard output (the help, the version, a check's report): the
// program then says so and fails, since what it was asked for never arrived.
int standard_output_error = 0;

void write_to_standard_output(std::string_view text) {
  const int error = write_to(STDOUT_FILENO, text);
  if (standard_output_error == 0) standard_output_error = error;
}
void write_to_standard_error(std::string_view text) { write_to(STDERR_FILENO, text); }

// Makes sure that descriptors 0, 1 and 2 are open. A scheduler line such as "2>&-" starts the
// program with one of them closed, and the next file the program opens would take its number:
// messages meant for standard error would then be written into a picture or a measurement
// file. A closed stream is put on /dev/null, or where there is none on a pipe nobody reads, so
// that what goes to it is dropped.
void keep_standard_descriptors_open() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null_fd = ::open("/dev/null", O_RDWR | O_NOCTTY);
    if (null_fd == fd) continue;
    if (null_fd >= 0) ::close(null_fd);
    // No /dev/null: the lowest free descriptors, this one first, go to a pipe whose reading
    // end is closed, so writes fail at once (SIGPIPE is ignored).
    int ends[2];
    if (::pipe(ends) != 0) ::_exit(static_cast<int>(norvane::ExitStatus::failure));
    if (ends[0] == fd) {
      // The reading end took this number: give the number to the writing end instead.
      ::dup2(ends[1], fd);
      ::close(ends[1]);
    } else {
      ::close(ends[0]);
    }
  }
}

std::chrono::year_month_day today_local() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "localtime");
  }
  return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                     std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                     std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

}  // namespace

int main(int argc, char** argv) {
  keep_standard_descriptors_open();
  // Standard error may be a pipe whose reader has gone (a journal restarted, say): a message
  // that cannot be written is dropped, and the run goes on writing its pictures.
  ::signal(SIGPIPE, SIG_IGN);
  // A run lives for milliseconds and reuses buffers of a figure's size for each day: keeping
  // freed memory in the process spares the kernel mapping it afresh every day.
  ::mallopt(M_MMAP_THRESHOLD, 16 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
  try {
    norvane::ProgramRequest request;
    request.arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
    request.current_dir = current_directory(&request.current_dir_error);
    request.today = today_local();
    request.clock = norvane::system_clock_now;
    request.standard_output = write_to_standard_output;
    request.standard_error = write_to_standard_error;
    request.output_is_terminal = ::isatty(STDOUT_FILENO) == 1;
    auto status = norvane::run_program(request);
    if (standard_output_error != 0) {
      write_to_standard_error(std::string(norvane::Diagnostics::prefix) +
                              "write error: " + std::strerror(standard_output_error) + "\n");
      if (status == norvane::ExitStatus::success) status = norvane::ExitStatus::failure;
    }
    return static_cast<int>(status);
  } catch (const std::exception& error) {
    write_to_standard_error(std::string(norvane::Diagnostics::prefix) + error.what() + "\n");
    return static_cast<int>(norvane::ExitStatus::failure);
  }
}
