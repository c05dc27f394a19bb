// SPDX-License-Identifier: MIT
#include "util/diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/messages.h"

namespace norvane {
namespace {

TEST(Diagnostics, PrintsEachMessageOnceAndOnlyFailuresFailTheRun) {
  std::ostringstream out;
  Diagnostics diagnostics(testing::into(out));
  diagnostics.warn("forecast missing");
  diagnostics.warn("forecast missing");
  EXPECT_FALSE(diagnostics.failed());
  diagnostics.fail("folder missing");
  diagnostics.fail("folder missing");
  EXPECT_TRUE(diagnostics.failed());
  EXPECT_EQ(out.str(), "norvane_foF2: forecast missing\nnorvane_foF2: folder missing\n");
}

TEST(Quoted, EscapesWhatCouldGarbleATerminal) {
  EXPECT_EQ(quoted("plain/path.gif"), "\"plain/path.gif\"");
  EXPECT_EQ(quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(quoted("\x1b[2J\r\xe9"), "\"\\x1B[2J\\x0D\\xE9\"");
}

}  // namespace
}  // namespace norvane
