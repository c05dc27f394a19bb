// SPDX-License-Identifier: MIT
// norvane_figure_corpus: writes the working folders of the reference figures, one folder per
// case, and prints each case's name and the date its run is for:
//
//   norvane_figure_corpus <folder>
//
// The pictures of tests/data/figures/ are what a run in each of these folders drew on that
// date. This writes the set-up only, never the pictures.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "support/figure_corpus.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: norvane_figure_corpus <folder>\n");
    return 2;
  }
  try {
    for (const auto& corpus_case : norvane::testing::corpus_cases()) {
      const std::string folder = std::string(argv[1]) + "/" + corpus_case.name + "/";
      std::filesystem::create_directories(folder);
      norvane::testing::prepare_corpus_case(corpus_case, folder, NORVANE_DEMO_TOOL);
      std::printf("%s %04d-%02u-%02u\n", corpus_case.name.c_str(),
                  static_cast<int>(corpus_case.today.year()),
                  static_cast<unsigned>(corpus_case.today.month()),
                  static_cast<unsigned>(corpus_case.today.day()));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "norvane_figure_corpus: %s\n", error.what());
    return 1;
  }
  return 0;
}
