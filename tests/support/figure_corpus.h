// SPDX-License-Identifier: MIT
// The reference figures: working folders that between them make the figure show everything it
// can (the demo, every rule of drawing the measurements and the forecast, a turn of the year,
// each station's style), and the pictures a run on each drew, kept in tests/data/figures/ as
// data. A change of the raster, the font or the GIF encoder must leave every one of them the
// same to the pixel.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace norvane::testing {

struct CorpusCase {
  std::string name;  // the folder of its pictures in tests/data/figures/
  std::chrono::year_month_day today;
};

std::vector<CorpusCase> corpus_cases();

// Writes the working folder of `corpus_case` at `folder` (ending in "/", created when missing):
// the settings file, the forecast, archive, measurement and picture folders and their files.
// `demo_tool` is the demo's generator, norvane_make_demo_data, which the demo case runs.
void prepare_corpus_case(const CorpusCase& corpus_case, const std::string& folder,
                         const std::string& demo_tool);

}  // namespace norvane::testing
