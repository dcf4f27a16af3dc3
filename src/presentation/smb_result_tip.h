#pragma once

#include <string>
#include <string_view>

namespace cw::presentation {

// The SMB access page's read results read another way, for a tooltip: a word in decimal
// (unsigned and signed), a block's bytes as text (printable ASCII as it is, other bytes as '.').
// Empty when the field holds no result.
std::string WordResultTip(std::string_view hex_word);
std::string BlockResultTip(std::string_view hex_bytes);

}  // namespace cw::presentation
