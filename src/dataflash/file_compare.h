#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/function_ref.h"
#include "dataflash/afi_file.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"

// Parameter values held against what the gauge holds: the .afi load's check of what the gauge
// kept, the data flash page's "Compare with file", and the key-by-key difference of a constants
// file with another or with the gauge.
namespace cw::dataflash {

// The rows whose bytes in `image` are not what their texts encode to as file values (as a file
// load writes them). The texts are laid over the image in list order, as Write All lays
// them, so rows that share a byte are judged as written. A row without a text (nullopt), or
// with one no parameter takes, is not judged.
std::vector<std::size_t> RowsDiffering(
    const FlashImage& image,
    common::FunctionRef<std::optional<std::string>(std::size_t row)> text_of);

// An .afi against the gauge, key by key.
struct FileComparison {
  // The parameters whose value in the file differs from the gauge's, in list order.
  std::vector<std::size_t> rows;
  // Each parameter's text in the file; nothing where the file lacks the key.
  std::array<std::optional<std::string>, kParamCount> file_texts;
  // Parameters the file holds a usable value for.
  std::size_t compared = 0;
  // The file's keys that were not compared: missing, and "key = value" for a value no
  // parameter takes.
  std::vector<std::string> missing;
  std::vector<std::string> invalid;
  // AlgorithmData keys whose four bytes differ from the gauge's algorithm area.
  std::size_t algorithm_keys_differing = 0;

  bool Differs(std::size_t row) const;
};

// `gauge` is the page's image after a Read All: its page set and its algorithm area.
FileComparison CompareValues(const AfiValues& file, const FlashImage& gauge);

// The file's values, read as a load reads them; the reader's message when it cannot be used.
std::expected<AfiValues, std::string> ReadComparisonFile(const std::filesystem::path& path);
// How the comparisons read the file they are given: ReadComparisonFile, or a reader that also
// takes the constants out of a firmware image (which this layer cannot read).
using ConstantsReader =
    std::function<std::expected<AfiValues, std::string>(const std::filesystem::path& path)>;

// What the gauge holds after a Read All, as a saved .afi would hold it: every row's text and the
// algorithm area of `image`.
AfiValues GaugeValues(const std::array<ParamValue, kParamCount>& shown, const FlashImage& image);

// One key whose value differs between a constants file and what it is compared with.
struct KeyDifference {
  std::string key;                         // the parameter's name, or "AlgorithmDataN"
  std::optional<std::string> file_value;   // nothing: the file lacks the key
  std::optional<std::string> other_value;  // nothing: the other side lacks it
  std::string_view unit;
  bool operator==(const KeyDifference&) const = default;
};

// `file` against `other` key by key, in file order: parameters, then AlgorithmData. A parameter
// differs as "Compare with file" judges it: its text, written over `other_image` (the image
// `other` writes), changes the bytes there; a text no parameter takes differs from any other
// text. AlgorithmData keys differ by their four bytes, or by their texts where one of them is no
// number. A key that only one side holds differs.
std::vector<KeyDifference> DiffKeys(const AfiValues& file, const AfiValues& other,
                                    const FlashImage& other_image);

}  // namespace cw::dataflash
