#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/front_end.h"
#include "dataflash/data_flash_page.h"

namespace cw::dataflash {

// Edits held back from the gauge. With "Hold edits" on, the data flash page keeps what the user
// types instead of writing it at once, shows each such row as edited but not written, takes back
// the last edit on Undo, and writes them all with Write All. Safe to use from the GUI thread
// while a worker writes.
class EditHistory {
 public:
  explicit EditHistory(DataFlashPage& page) : page_(page) {}

  // Checks `text` as an edit is checked (the row's format and limits, with the message when it
  // is refused) and keeps it for the row; nothing is sent. Refused without a word before the
  // first Read All, as an edit is: there are no gauge values yet to write it over.
  common::Outcome Hold(std::size_t row, std::string_view text);
  // Takes back the last edit held: the row shows again what it showed before it. The row, or
  // nothing when no edit is held.
  std::optional<std::size_t> Undo();
  std::optional<std::string> held(std::size_t row) const;
  // Rows with an edit held.
  std::size_t size() const;

  // The Write All button with the held texts in the rows. Once it has written and verified, the
  // held edits are forgotten, and a value the gauge read back otherwise is named in a message.
  // When it fails they stay held, and rows the gauge did not refresh show what they showed before.
  common::Outcome WriteAll();

  common::Observers<>& changes() { return changes_; }

 private:
  struct Entry {
    std::size_t row;
    std::optional<std::string> before;  // what was held for the row until this edit
    std::string text;
  };
  std::map<std::size_t, std::string> Snapshot() const;
  // Forgets what `written` holds (rows held again since keep their newer text).
  void Forget(const std::map<std::size_t, std::string>& written);

  DataFlashPage& page_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // in the order held
  std::map<std::size_t, std::string> held_;
  common::Observers<> changes_;
};

}  // namespace cw::dataflash
