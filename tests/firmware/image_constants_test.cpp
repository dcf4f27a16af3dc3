// The constants a firmware image carries, read back as a Read All would give them.
#include "firmware/image_constants.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "dataflash/algorithm_transform.h"
#include "firmware/constants_merge.h"
#include "firmware/file_io.h"

namespace cw::firmware {
namespace {

const common::ProductConstants kConstants{};

// Random code and data under random constants, merged as `convert merge-bin` merges them.
struct MergedImage {
  dataflash::AfiImage stored;  // the constants as a saved .afi holds them
  common::Bytes bin;
};

MergedImage RandomMergedImage() {
  std::mt19937 random(7);
  auto original = std::make_unique<ExtractedImages>();
  for (auto& byte : original->code) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : original->data) byte = static_cast<std::uint8_t>(random());
  MergedImage merged;
  for (auto& byte : merged.stored.image) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : merged.stored.algorithm) byte = static_cast<std::uint8_t>(random());
  dataflash::AfiImage plain = merged.stored;
  plain.algorithm = dataflash::AlgorithmAreaToPlain(merged.stored.algorithm);
  merged.bin = MergeConstantsIntoImage(
      BuildFirmwareImage(original->code, original->data, kConstants), plain, kConstants);
  return merged;
}

TEST(ImageConstants, GivesBackEachSubclassAsReadAllPlacesItAndNothingBetween) {
  const MergedImage merged = RandomMergedImage();
  const dataflash::AfiImage read =
      ImageConstants(*ExtractImages(merged.bin, kConstants.record_mask));
  for (std::size_t i = 0; i < dataflash::kSubclassCount; ++i) {
    const dataflash::SubclassEntry entry = dataflash::EntryAt(i);
    const bool algorithm = i >= dataflash::kPageSetCount;
    const std::size_t start =
        algorithm ? entry.image_offset() - dataflash::kAlgorithmAreaStart : entry.image_offset();
    const std::uint8_t* got = algorithm ? read.algorithm.data() : read.image.data();
    const std::uint8_t* want =
        algorithm ? merged.stored.algorithm.data() : merged.stored.image.data();
    for (std::size_t b = 0; b < entry.pages() * dataflash::kBlockSize; ++b) {
      // Past its length a subclass holds what a Read All leaves: nothing (zero, stored form).
      const std::uint8_t expected = b < entry.length ? want[start + b] : 0;
      if (algorithm || b < entry.length) {
        ASSERT_EQ(got[start + b], expected) << "subclass row " << i << " byte " << b;
      }
    }
  }
}

TEST(ImageConstants, ReadsAnImageByItsNameAndRefusesOneTheBootLoaderWouldNot) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("cw-image-constants-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const MergedImage merged = RandomMergedImage();
  common::Bytes damaged = merged.bin;
  damaged[40 * 32 + 7] ^= 0x10;
  ASSERT_TRUE(WriteWholeFile(dir / "good.BIN", merged.bin));
  ASSERT_TRUE(WriteWholeFile(dir / "short.bin", common::ByteView(merged.bin).first(32 * 100)));
  ASSERT_TRUE(WriteWholeFile(dir / "damaged.bin", damaged));
  ASSERT_TRUE(WriteWholeFile(dir / "image.afi", merged.bin));

  const auto good = ReadConstantsFile(dir / "good.BIN", kConstants.record_mask);
  ASSERT_TRUE(good) << good.error();
  const dataflash::AfiValues expected =
      ImageConstantValues(*ExtractImages(merged.bin, kConstants.record_mask));
  EXPECT_EQ(good->rows, expected.rows);
  EXPECT_EQ(good->algorithm_texts, expected.algorithm_texts);
  const struct {
    const char* name;
    std::string_view says;
  } refused[] = {
      {"short.bin", "short.bin is not a firmware image: its size is not one an image has"},
      {"damaged.bin", "damaged.bin is not a firmware image: Record 40 of the image is damaged"},
      {"missing.bin", "it does not exist"},
      {"image.afi", "image.afi is not a constants file"},
  };
  for (const auto& c : refused) {
    const auto read = ReadConstantsFile(dir / c.name, kConstants.record_mask);
    ASSERT_FALSE(read) << c.name;
    EXPECT_NE(read.error().find(c.says), std::string::npos) << read.error();
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace cw::firmware
