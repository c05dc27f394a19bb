// The program's entry: it reads what only the process knows (its current directory and today's
// local date) and hands them to the run. Everything else lives in the core library.
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "driver/run.h"
#include "util/diagnostics.h"

namespace {

std::string current_directory() {
  std::string buffer(4096, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) throw std::system_error(errno, std::generic_category(), "getcwd");
    buffer.resize(buffer.size() * 2);
  }
  return buffer.c_str();
}

// Writes `line` to standard error, whole unless it fails.
void write_to_standard_error(std::string_view line) {
  while (!line.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    line.remove_prefix(static_cast<std::size_t>(written));
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

int main() {
  // Standard error may be a pipe whose reader has gone (a journal restarted, say): a message
  // that cannot be written is dropped, and the run goes on writing its pictures.
  ::signal(SIGPIPE, SIG_IGN);
  // A run lives for milliseconds and reuses buffers of a figure's size for each day: keeping
  // freed memory in the process spares the kernel mapping it afresh every day.
  ::mallopt(M_MMAP_THRESHOLD, 16 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
  try {
    return static_cast<int>(
        norvane::run({current_directory(), today_local(), write_to_standard_error}));
  } catch (const std::exception& error) {
    write_to_standard_error(std::string(norvane::Diagnostics::prefix) + error.what() + "\n");
    return static_cast<int>(norvane::ExitStatus::failure);
  }
}
