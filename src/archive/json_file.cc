// SPDX-License-Identifier: MIT
#include "archive/json_file.h"

#include <cerrno>
#include <cstdio>
#include <span>
#include <vector>

#include "util/input_file.h"

namespace norvane {
namespace {

std::string text_of(const Json& value, int indent) {
  // Station names come from the station's files and may hold any byte: a byte that is not
  // UTF-8 becomes U+FFFD rather than stopping the write.
  return value.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

// Builds the value of a JSON text as nlohmann's parser reads it, refusing to go deeper than
// max_json_depth or wider than max_json_members: the parser itself keeps no such bounds, and a
// value nested a few hundred thousand levels deep would overflow the stack of whatever walks it
// next (copying, comparing, writing).
class BoundedDom final : public nlohmann::json_sax<Json> {
 public:
  // Stops before the member `stop_key` of the outermost object, when given.
  explicit BoundedDom(std::string_view stop_key = {}) : stop_key_(stop_key) {}

  bool null() override { return add(nullptr); }
  bool boolean(bool value) override { return add(value); }
  bool number_integer(number_integer_t value) override { return add(value); }
  bool number_unsigned(number_unsigned_t value) override { return add(value); }
  bool number_float(number_float_t value, const string_t&) override { return add(value); }
  bool string(string_t& value) override { return add(std::move(value)); }
  bool binary(binary_t& value) override { return add(Json::binary(std::move(value))); }
  bool start_object(std::size_t) override { return open(Json::object()); }
  bool key(string_t& key) override {
    if (open_.back()->size() >= max_json_members) {
      problem_ = "an object of more than " + std::to_string(max_json_members) + " members";
      return false;
    }
    if (open_.size() == 1 && !stop_key_.empty() && key == stop_key_) {
      stopped_ = true;
      return false;
    }
    key_ = std::move(key);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t position, const std::string&, const Json::exception&) override {
    problem_ = "not valid JSON (at byte " + std::to_string(position) + ")";
    return false;
  }

  const std::string& problem() const { return problem_; }
  bool stopped() const { return stopped_; }
  Json take() { return std::move(root_); }

 private:
  // Puts `value` where the text has it: the root, the next element of the array being read, or
  // the member of the object being read whose key came last. Containers are held by pointer
  // only while open, when nothing else is added to the container around them.
  Json* place(Json&& value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& container = *open_.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    return &(container[key_] = std::move(value));
  }
  bool add(Json&& value) {
    place(std::move(value));
    return true;
  }
  bool open(Json&& container) {
    if (open_.size() >= static_cast<std::size_t>(max_json_depth)) {
      problem_ = "nested more than " + std::to_string(max_json_depth) + " levels deep";
      return false;
    }
    open_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  std::string_view stop_key_;
  bool stopped_ = false;
  Json root_;
  std::vector<Json*> open_;
  std::string key_;
  std::string problem_;
};

JsonRead read_bounded(const std::string& path, std::size_t max_bytes, std::string_view stop_key) {
  JsonRead read;
  std::vector<unsigned char> bytes;
  int error = 0;
  if (!read_small_file(path, max_bytes, bytes, &error)) {
    if (error == ENOENT || error == ENOTDIR) return read;
    read.status = JsonRead::Status::damaged;
    read.problem = error == EFBIG ? "larger than " + std::to_string(max_bytes >> 20) + " MiB"
                                  : "cannot be read: " + error_text(error);
    return read;
  }
  BoundedDom dom(stop_key);
  const bool whole = Json::sax_parse(bytes.begin(), bytes.end(), &dom);
  if ((!whole && !dom.stopped()) || !dom.problem().empty()) {
    read.status = JsonRead::Status::damaged;
    read.problem = dom.problem().empty() ? "not valid JSON" : dom.problem();
    return read;
  }
  read.status = JsonRead::Status::read;
  read.value = dom.take();
  return read;
}

}  // namespace

// Writes `value` at `path`; `every_run` for a file rewritten by each run, which then takes the
// way that frees no disk blocks (util/file_write.h).
std::optional<FileError> write_json(const std::string& path, const Json& value, int indent,
                                    bool every_run) {
  const std::string text = text_of(value, indent);
  const std::span bytes{reinterpret_cast<const unsigned char*>(text.data()), text.size()};
  return every_run ? write_file_by_turns(path, bytes) : write_file_atomically(path, bytes);
}

JsonRead read_json_file(const std::string& path, std::size_t max_bytes) {
  return read_bounded(path, max_bytes, {});
}

JsonRead read_json_head(const std::string& path, std::string_view stop_key) {
  return read_bounded(path, max_json_bytes, stop_key);
}

bool is_text(const Json& object, std::string_view key, std::string_view expected) {
  const auto member = object.find(key);
  return member != object.end() && member->is_string() &&
         member->get_ref<const std::string&>() == expected;
}

bool is_number(const Json& object, std::string_view key, int expected) {
  const auto member = object.find(key);
  return member != object.end() && member->is_number_integer() && *member == expected;
}

bool has_format(const Json& file, std::string_view format) {
  return file.is_object() && is_text(file, "format", format) &&
         is_number(file, "version", json_format_version);
}

void report_write(const std::optional<FileError>& error, std::string_view what,
                  const std::string& path, Diagnostics& diagnostics) {
  if (error) {
    diagnostics.fail("cannot write " + std::string(what) + " " + norvane::quoted(path) + ": " +
                     error->reason);
  }
}

}  // namespace norvane
