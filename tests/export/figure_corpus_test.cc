// SPDX-License-Identifier: MIT
#include "support/figure_corpus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "driver/run.h"
#include "support/gif_picture.h"
#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

// Every figure of every reference case, drawn again, decodes to the very pixels of the
// reference picture, keeps its archive record and stays within a tenth of its size.
TEST(FigureCorpus, EveryFigureDrawsTheReferencePictureToThePixel) {
  for (const testing::CorpusCase& corpus_case : testing::corpus_cases()) {
    SCOPED_TRACE(corpus_case.name);
    testing::TempFolder work;
    testing::prepare_corpus_case(corpus_case, work.path(), NORVANE_DEMO_TOOL);
    std::ostringstream messages;
    EXPECT_EQ(run({work.path(), corpus_case.today, testing::into(messages)}), ExitStatus::success)
        << messages.str();
    const std::string pictures = work / (corpus_case.name == "demo" ? "pictures/" : "www/");
    for (int slot = 1; slot <= 6; ++slot) {
      const std::string name = "plotfoF2" + std::to_string(slot) + ".gif";
      SCOPED_TRACE(name);
      const std::string reference =
          std::string(NORVANE_TEST_DATA) + "/figures/" + corpus_case.name + "/" + name;
      EXPECT_EQ(testing::Picture::load(pictures + name), testing::Picture::load(reference));
      const auto comments = testing::gif_comment_texts(pictures + name);
      ASSERT_EQ(comments.size(), 1u);
      EXPECT_TRUE(comments[0].starts_with("norvane_foF2 archive record ")) << comments[0];
      const auto size = static_cast<double>(std::filesystem::file_size(pictures + name));
      const auto reference_size = static_cast<double>(std::filesystem::file_size(reference));
      EXPECT_LE(std::abs(size - reference_size), reference_size / 10) << size;
    }
  }
}

}  // namespace
}  // namespace norvane
