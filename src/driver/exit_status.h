// SPDX-License-Identifier: MIT
// What the scheduler learns from a run: success only when the settings were complete and all
// twelve pictures were written; every other run fails, and standard error says why. A command
// line the program cannot follow is a usage error, and then nothing was read or written.
#pragma once

namespace norvane {

enum class ExitStatus : int {
  success = 0,
  failure = 1,
  usage = 2,
};

}  // namespace norvane
