// What the scheduler learns from a run: success only when the settings were complete and all
// twelve pictures were written; every other run fails, and standard error says why.
#pragma once

namespace norvane {

enum class ExitStatus : int {
  success = 0,
  failure = 1,
};

}  // namespace norvane
