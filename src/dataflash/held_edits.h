#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Edits held back from the gauge: with "Hold edits" on, the data flash page keeps what the user
// types instead of writing it at once, takes back the last edit on Undo, and writes them all with
// Write All. A plain value: the data flash session guards it with its own lock.
namespace cw::dataflash {

class HeldEdits {
 public:
  // Keeps `text` for `row`, over what was held for it before.
  void Hold(std::size_t row, std::string text);
  // Takes back the last edit held: the row holds again what it held before it. The row, or
  // nothing when no edit is held.
  std::optional<std::size_t> Undo();
  std::optional<std::string> held(std::size_t row) const;
  // Rows with an edit held.
  std::size_t size() const { return held_.size(); }
  bool empty() const { return held_.empty(); }
  const std::map<std::size_t, std::string>& texts() const { return held_; }
  // Forgets what `written` holds (rows held again since keep their newer text).
  void Forget(const std::map<std::size_t, std::string>& written);

 private:
  struct Entry {
    std::size_t row;
    std::optional<std::string> before;  // what was held for the row until this edit
    std::string text;
  };
  std::vector<Entry> entries_;  // in the order held
  std::map<std::size_t, std::string> held_;
};

}  // namespace cw::dataflash
