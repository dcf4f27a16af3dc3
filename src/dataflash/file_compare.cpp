#include "dataflash/file_compare.h"

#include <algorithm>

#include "dataflash/param_codec.h"

namespace cw::dataflash {
namespace {

constexpr std::size_t kAlgorithmKeyBytes = 4;

}  // namespace

std::vector<std::size_t> RowsDiffering(
    const FlashImage& image,
    common::FunctionRef<std::optional<std::string>(std::size_t row)> text_of) {
  FlashImage expected = image;
  std::array<std::uint8_t, kParamCount> sizes{};
  for (std::size_t row = 0; row < kParamCount; ++row) {
    sizes[row] = kEncodeFailed;
    const std::optional<std::string> text = text_of(row);
    if (!text) continue;
    ParamValue value{-1, *text};
    std::array<std::uint8_t, kMaxFieldSize> encoded{};
    sizes[row] = EncodeParam(kParams[row], value, encoded, false, nullptr);
    if (sizes[row] == kEncodeFailed) continue;
    std::copy_n(encoded.begin(), sizes[row],
                expected.begin() + static_cast<std::ptrdiff_t>(ParamImageOffset(kParams[row])));
  }
  std::vector<std::size_t> rows;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    if (sizes[row] == kEncodeFailed) continue;
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
    if (!file.rows[row]) continue;
    ParamValue value{-1, *file.rows[row]};
    std::array<std::uint8_t, kMaxFieldSize> encoded{};
    if (EncodeParam(kParams[row], value, encoded, false, nullptr) != kEncodeFailed) {
      ++comparison.compared;
    }
  }
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    if (!file.algorithm_present[number]) continue;
    const std::size_t from = AlgorithmKeyAt(number).area_offset;
    const std::size_t to = std::min(from + kAlgorithmKeyBytes, file.algorithm.size());
    const auto in_gauge = gauge.begin() + static_cast<std::ptrdiff_t>(kAlgorithmAreaStart + from);
    if (!std::equal(file.algorithm.begin() + static_cast<std::ptrdiff_t>(from),
                    file.algorithm.begin() + static_cast<std::ptrdiff_t>(to), in_gauge)) {
      ++comparison.algorithm_keys_differing;
    }
  }
  return comparison;
}

std::expected<AfiValues, std::string> ReadComparisonFile(const std::filesystem::path& path) {
  const auto reader = AfiReader::Open(path);
  if (!reader) return std::unexpected(reader.error().message);
  return ReadAfiValues(*reader);
}

}  // namespace cw::dataflash
