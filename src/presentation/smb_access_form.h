#pragma once

#include <string>

#include "app/smb_access.h"
#include "common/front_end.h"

namespace cw::presentation {

// The text fields of the five forms of the SMB access page.
struct SmbAccessFields {
  std::string read_word_command;
  std::string read_word_result;
  std::string write_word_command;
  std::string write_word;
  std::string combined_command;
  std::string combined_word1;
  std::string combined_word2;
  std::string read_block_command;
  std::string read_block_result;
  std::string write_block_command;
  std::string write_block_data;
};

// The five forms, each with its own button.
enum class SmbForm { kReadWord = 0, kWriteWord, kCombinedWord, kReadBlock, kWriteBlock };

// The outcome of a form's button, with its fields as the form left them.
using SmbFormOutcome = common::OutcomeOf<SmbAccessFields>;

// A form's button: reads the fields as typed, runs the transaction and clears or fills the fields
// as the page always has. A press that sends nothing says why; a failed or malformed read leaves
// the result empty and says why. Runs on the caller's thread (the window's worker).
SmbFormOutcome SubmitSmbForm(app::SmbAccess& smb, SmbForm form, SmbAccessFields fields,
                             common::MessageSink& messages);

}  // namespace cw::presentation
