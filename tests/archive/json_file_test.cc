// SPDX-License-Identifier: MIT
#include "archive/json_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace norvane {
namespace {

TEST(ReadJsonFile, ReadsWhatItsFormatsCanHoldAndCallsAnythingElseDamaged) {
  testing::TempFolder folder;
  const auto read = [&](const std::string& content) {
    folder.write("file.json", content);
    return read_json_file(folder / "file.json");
  };
  const JsonRead sound = read(R"({"a": [1, {"b": null}], "c": "d"})");
  EXPECT_EQ(sound.status, JsonRead::Status::read);
  EXPECT_EQ(sound.value, Json::parse(R"({"a": [1, {"b": null}], "c": "d"})"));
  EXPECT_EQ(read_json_file(folder / "missing.json").status, JsonRead::Status::missing);

  const std::string deep(200'000, '[');
  const struct {
    std::string content;
    std::string problem;
  } damaged[] = {
      {deep + std::string(200'000, ']'), "nested more than 8 levels deep"},
      {deep, "nested more than 8 levels deep"},
      {"[[[[[[[[1]]]]]]]]", ""},
      {"[[[[[[[[[1]]]]]]]]]", "nested more than 8 levels deep"},
      {"{\"a\": 1,}", "not valid JSON (at byte 9)"},
      {"", "not valid JSON (at byte 1)"},
      {"[" + std::string(max_json_bytes, ' ') + "]", "larger than 4 MiB"},
  };
  for (const auto& file : damaged) {
    const JsonRead result = read(file.content);
    EXPECT_EQ(result.status,
              file.problem.empty() ? JsonRead::Status::read : JsonRead::Status::damaged)
        << file.content.substr(0, 20);
    EXPECT_EQ(result.problem, file.problem);
  }
  std::string wide = "{";
  for (std::size_t i = 0; i <= max_json_members; ++i) wide += "\"" + std::to_string(i) + "\": 0,";
  wide.back() = '}';
  EXPECT_EQ(read(wide).problem, "an object of more than 64 members");
  folder.make_folder("folder.json");
  EXPECT_EQ(read_json_file(folder / "folder.json").problem, "cannot be read: Is a directory");
}

}  // namespace
}  // namespace norvane
