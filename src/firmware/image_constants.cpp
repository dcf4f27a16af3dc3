#include "firmware/image_constants.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "common/file_error.h"
#include "common/text.h"
#include "dataflash/algorithm_transform.h"
#include "dataflash/file_compare.h"
#include "dataflash/param_codec.h"
#include "firmware/file_io.h"
#include "firmware/image_check.h"

namespace cw::firmware {
namespace {

constexpr std::string_view kImageExtension = ".bin";

}  // namespace

dataflash::AfiImage ImageConstants(const ExtractedImages& images) {
  using dataflash::kAlgorithmAreaStart;
  dataflash::FlashImage flash{};
  const dataflash::AlgorithmArea padding = dataflash::AlgorithmAreaToPlain({});
  std::ranges::copy(padding, flash.begin() + kAlgorithmAreaStart);
  for (const dataflash::SubclassRow& row : dataflash::kSubclassRows) {
    const std::uint8_t* from = row.flash_address >= kCodeParameterArea
                                   ? images.code.data() + row.flash_address
                                   : images.data.data() + row.flash_address;
    std::copy_n(from, row.length,
                flash.begin() + static_cast<std::ptrdiff_t>(row.block * dataflash::kBlockSize));
  }
  dataflash::AfiImage constants;
  std::copy(flash.begin(), flash.begin() + kAlgorithmAreaStart, constants.image.begin());
  dataflash::AlgorithmArea plain{};
  std::copy(flash.begin() + kAlgorithmAreaStart, flash.end(), plain.begin());
  constants.algorithm = dataflash::AlgorithmAreaToStored(plain);
  return constants;
}

dataflash::AfiValues ImageConstantValues(const ExtractedImages& images) {
  const dataflash::AfiImage constants = ImageConstants(images);
  dataflash::FlashImage image = constants.image;
  std::ranges::copy(constants.algorithm, image.begin() + dataflash::kAlgorithmAreaStart);
  std::array<dataflash::ParamValue, dataflash::kParamCount> values{};
  for (std::size_t row = 0; row < dataflash::kParamCount; ++row) {
    const dataflash::ParamDef& def = dataflash::kParams[row];
    dataflash::DecodeParam(
        def, common::ByteView(image).subspan(dataflash::ParamImageOffset(def), RawSize(def)),
        values[row]);
  }
  return dataflash::GaugeValues(values, image);
}

bool IsImagePath(const std::filesystem::path& path) {
  return common::EndsWithIgnoringCase(path.filename().string(), kImageExtension);
}

std::expected<dataflash::AfiValues, std::string> ReadConstantsFile(
    const std::filesystem::path& path, std::uint8_t record_mask) {
  if (!IsImagePath(path)) return dataflash::ReadComparisonFile(path);
  const auto bytes = ReadImageFile(path);
  if (!bytes) return std::unexpected(common::DescribeFileError(bytes.error()));
  if (const auto refusal = CheckUpdateImage(*bytes, record_mask)) {
    return std::unexpected(fmt::format(
        "{} is not a firmware image: {}", path.string(),
        refusal->empty()
            ? "its size is not one an image has (at least 64 KiB, in whole 32-byte records)."
            : *refusal));
  }
  return ImageConstantValues(*ExtractImages(*bytes, record_mask));
}

}  // namespace cw::firmware
