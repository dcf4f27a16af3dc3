#include "dataflash/file_compare.h"

#include <fmt/format.h>

#include <algorithm>

#include "dataflash/param_codec.h"

namespace cw::dataflash {
std::vector<std::size_t> RowsDiffering(
    const FlashImage& image,
    common::FunctionRef<std::optional<std::string>(std::size_t row)> text_of) {
  FlashImage expected = image;
  // 0 for a row not judged: no text, or one no value of the row.
  std::array<std::size_t, kParamCount> sizes{};
  for (std::size_t row = 0; row < kParamCount; ++row) {
    const std::optional<std::string> text = text_of(row);
    if (!text) continue;
    const auto encoded = EncodeParam(kParams[row], *text, ValueSource::kFile);
    if (!encoded) continue;
    sizes[row] = encoded->size;
    std::ranges::copy(encoded->bytes(), expected.begin() + static_cast<std::ptrdiff_t>(
                                                               ParamImageOffset(kParams[row])));
  }
  std::vector<std::size_t> rows;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    if (sizes[row] == 0) continue;
    const auto first = static_cast<std::ptrdiff_t>(ParamImageOffset(kParams[row]));
    if (!std::equal(expected.begin() + first, expected.begin() + first + sizes[row],
                    image.begin() + first)) {
      rows.push_back(row);
    }
  }
  return rows;
}

bool FileComparison::Differs(std::size_t row) const {
  return std::ranges::binary_search(rows, row);
}

FileComparison CompareValues(const AfiValues& file, const FlashImage& gauge) {
  FileComparison comparison;
  comparison.file_texts = file.rows;
  comparison.missing = file.missing;
  comparison.invalid = file.invalid;
  comparison.rows = RowsDiffering(
      gauge, [&](std::size_t row) -> std::optional<std::string> { return file.rows[row]; });
  for (std::size_t row = 0; row < kParamCount; ++row) {
    if (file.rows[row] && EncodeParam(kParams[row], *file.rows[row], ValueSource::kFile)) {
      ++comparison.compared;
    }
  }
  AlgorithmArea in_gauge{};
  std::copy(gauge.begin() + kAlgorithmAreaStart, gauge.end(), in_gauge.begin());
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    if (file.algorithm_present[number] &&
        AlgorithmWord(file.algorithm, number) != AlgorithmWord(in_gauge, number)) {
      ++comparison.algorithm_keys_differing;
    }
  }
  return comparison;
}

AfiValues GaugeValues(const std::array<ParamValue, kParamCount>& shown, const FlashImage& image) {
  AfiValues values;
  for (std::size_t row = 0; row < kParamCount; ++row) values.rows[row] = shown[row].text;
  std::copy(image.begin() + kAlgorithmAreaStart, image.end(), values.algorithm.begin());
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    values.algorithm_present[number] = true;
    values.algorithm_texts[number] = fmt::format("{}", AlgorithmWord(values.algorithm, number));
  }
  return values;
}

std::vector<KeyDifference> DiffKeys(const AfiValues& file, const AfiValues& other,
                                    const FlashImage& other_image) {
  const auto encodes = [](std::size_t row, const std::optional<std::string>& text) {
    return text && EncodeParam(kParams[row], *text, ValueSource::kFile).has_value();
  };
  const std::vector<std::size_t> judged = RowsDiffering(
      other_image, [&](std::size_t row) -> std::optional<std::string> { return file.rows[row]; });
  std::vector<KeyDifference> differences;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    const auto& mine = file.rows[row];
    const auto& theirs = other.rows[row];
    if (!mine && !theirs) continue;
    const bool differs = !mine || !theirs ? true
                         : encodes(row, mine) && encodes(row, theirs)
                             ? std::ranges::binary_search(judged, row)
                             : *mine != *theirs;
    if (differs)
      differences.push_back({std::string(kParams[row].name), mine, theirs, kParams[row].unit});
  }
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    const auto& mine = file.algorithm_texts[number];
    const auto& theirs = other.algorithm_texts[number];
    if (!mine && !theirs) continue;
    bool differs = true;
    if (file.algorithm_present[number] && other.algorithm_present[number]) {
      differs = AlgorithmWord(file.algorithm, number) != AlgorithmWord(other.algorithm, number);
    } else if (mine && theirs) {
      differs = *mine != *theirs;
    }
    if (differs) differences.push_back({AlgorithmKeyName(number), mine, theirs, {}});
  }
  return differences;
}

std::expected<AfiValues, std::string> ReadComparisonFile(const std::filesystem::path& path) {
  const auto reader = AfiReader::Open(path);
  if (!reader) return std::unexpected(reader.error().message);
  return ReadAfiValues(*reader);
}

}  // namespace cw::dataflash
