// Firmware images: the record sequence, scrambling, extraction and the size rules.
#include <gtest/gtest.h>

#include <random>

#include "firmware/firmware_image.h"
#include "firmware/messages.h"
#include "firmware/read_back.h"
#include "sim/gauge_memory.h"

namespace cw::firmware {
namespace {

const common::ProductConstants kConstants{};

ImageRecord PlainRecord(const common::Bytes& image, std::size_t index) {
  ImageRecord record;
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(index * kRecordSize), kRecordSize,
              record.begin());
  UnscrambleRecord(record, kConstants.record_mask);
  return record;
}

std::uint16_t Sequence(const ImageRecord& r) {
  return static_cast<std::uint16_t>(r[0] << 8 | r[1]);
}
std::uint16_t Address(const ImageRecord& r) { return static_cast<std::uint16_t>(r[3] << 8 | r[4]); }

struct Images {
  std::unique_ptr<CodeImage> code = std::make_unique<CodeImage>();
  DataAreaImage data{};
};

Images RandomImages(unsigned seed) {
  Images images;
  std::mt19937 random(seed);
  for (auto& byte : *images.code) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : images.data) byte = static_cast<std::uint8_t>(random());
  return images;
}

TEST(BuildFirmwareImage, ZeroImagesGiveTheFullSequenceWithRecordZeroAsBuilt) {
  const Images zero;
  const common::Bytes image = BuildFirmwareImage(*zero.code, zero.data, kConstants);
  ASSERT_EQ(image.size(), 90976u);
  ASSERT_EQ(image.size() / kRecordSize, 2843u);

  const ImageRecord first = PlainRecord(image, 0);
  const common::Bytes expected_head = {0x00, 0x00, 0xFB, 0x00, 0xF8, 0x00, 0x01};
  EXPECT_EQ(common::Bytes(first.begin(), first.begin() + 7), expected_head);
  EXPECT_TRUE(std::all_of(first.begin() + 7, first.begin() + 31, [](auto b) { return b == 0; }));
  // The sum byte covers the scrambled bytes as they stand in the file.
  EXPECT_EQ(image[31], RecordSum(common::ByteView(image.data(), 31)));
  // Every record's sum byte holds, and sequence numbers run 0..2842 without a gap.
  for (std::size_t i = 0; i < 2843; ++i) {
    ASSERT_EQ(image[i * 32 + 31], RecordSum(common::ByteView(image.data() + i * 32, 31))) << i;
    ASSERT_EQ(Sequence(PlainRecord(image, i)), i);
  }
}

TEST(BuildFirmwareImage, RecordsSitAtTheirSequenceNumbers) {
  const Images images = RandomImages(3);
  const common::Bytes image = BuildFirmwareImage(*images.code, images.data, kConstants);
  struct Expect {
    std::size_t index;
    std::uint8_t type;
    std::uint16_t address;
    std::uint8_t space;
    std::uint8_t count;
  };
  // clang-format off
  const Expect table[] = {
      {1, kTypeData, 0xFADD, 0, 12},       {2, kTypeSetup, 0x0104, 0x00, 0},
      {5, kTypeSetup, 0x0104, 0xC0, 0},    {6, kTypeErase, 0xF400, 1, 0},
      {7, kTypeErase, 0x0400, 1, 0},       {66, kTypeErase, 0xF000, 1, 0},
      {67, kTypeData, 0x0780, 0, 12},      {68, kTypeErase, 0x0000, 1, 0},
      {69, kTypeErase, 0x0001, 1, 0},      {72, kTypeErase, 0x0301, 1, 0},
      {73, kTypeData, 0x0000, 1, 24},      {114, kTypeData, 0x03D8, 1, 24},
      {115, kTypeData, 0x03F0, 1, 16},     {116, kTypeErase, 0x0401, 1, 0},
      {120, kTypeCopy, 0x0000, 1, 0x04},   {151, kTypeCopy, 0x03E0, 1, 0x07},
      {152, kTypeData, 0x0000, 0, 24},     {193, kTypeData, 41 * 24, 0, 24},
      {194, kTypeErase, 0x0400, 1, 0},     {195, kTypeData, 42 * 24, 0, 24},
      {2797, kTypeCopy, 0xFFFE, 0, 0xF7},  {2798, kTypeData, 2644 * 24, 0, 24},
      {2799, kTypeErase, 0xF800, 1, 0},    {2842, kTypeData, 2687 * 24, 0, 24},
  };
  // clang-format on
  for (const Expect& e : table) {
    const ImageRecord r = PlainRecord(image, e.index);
    EXPECT_EQ(Sequence(r), e.index);
    EXPECT_EQ(r[2], e.type) << "record " << e.index;
    EXPECT_EQ(Address(r), e.address) << "record " << e.index;
    EXPECT_EQ(r[5], e.space) << "record " << e.index;
    EXPECT_EQ(r[6], e.count) << "record " << e.index;
  }
  const ImageRecord stub = PlainRecord(image, 67);
  EXPECT_TRUE(std::equal(kConstants.programming_stub.begin(), kConstants.programming_stub.end(),
                         stub.begin() + 7));
  const ImageRecord setup = PlainRecord(image, 3);
  EXPECT_EQ(common::Bytes(setup.begin() + 5, setup.begin() + 11),
            (common::Bytes{0x40, 0, 0xFB, 0x30, 0x00, 0x40}));
  const ImageRecord copy = PlainRecord(image, 2797);
  EXPECT_EQ(common::Bytes(copy.begin() + 3, copy.begin() + 10),
            (common::Bytes{0xFF, 0xFE, 0x00, 0xF7, 0xCE, 0x00, 0x02}));
  const ImageRecord data_copy = PlainRecord(image, 151);
  EXPECT_EQ(common::Bytes(data_copy.begin() + 6, data_copy.begin() + 10),
            (common::Bytes{0x07, 0xE0, 0x01, 0x20}));
}

TEST(BuildFirmwareImage, IsRepeatableAndNeverSendsTheCopiedCodeBytes) {
  Images images = RandomImages(5);
  (*images.code)[0xF7CE] = 0xAB;
  (*images.code)[0xF7CF] = 0xCD;
  const common::Bytes first = BuildFirmwareImage(*images.code, images.data, kConstants);
  EXPECT_EQ(first, BuildFirmwareImage(*images.code, images.data, kConstants));
  const auto extracted = ExtractImages(first, kConstants.record_mask);
  EXPECT_EQ(extracted->code[0xF7CE], 0);
  EXPECT_EQ(extracted->code[0xF7CF], 0);
  EXPECT_EQ((*images.code)[0xF7CE], 0xAB) << "the caller's image is left alone";
}

TEST(ExtractImages, ExtractThenBuildReproducesTheStream) {
  const Images images = RandomImages(11);
  const common::Bytes stream = BuildFirmwareImage(*images.code, images.data, kConstants);
  const auto extracted = ExtractImages(stream, kConstants.record_mask);
  EXPECT_EQ(extracted->data, images.data);
  EXPECT_TRUE(
      std::equal(extracted->code.begin(), extracted->code.begin() + 0xF7CE, images.code->begin()));
  EXPECT_TRUE(std::all_of(extracted->code.begin() + 0xFC00, extracted->code.end(),
                          [](auto b) { return b == 0; }));
  EXPECT_EQ(BuildFirmwareImage(extracted->code, extracted->data, kConstants), stream);
}

common::Bytes DataRecordStream(std::initializer_list<std::pair<std::uint16_t, std::uint8_t>> recs,
                               std::uint8_t fill) {
  common::Bytes stream;
  std::uint16_t sequence = 0;
  for (auto [address, count] : recs) {
    ImageRecord record = MakeRecord(sequence++, kTypeData, address, kSpaceData, count);
    std::fill(record.begin() + 7, record.begin() + 31, fill);
    ScrambleRecord(record, kConstants.record_mask);
    stream.insert(stream.end(), record.begin(), record.end());
  }
  return stream;
}

TEST(ExtractImages, SkipsRecordsItCannotTrust) {
  struct Case {
    const char* name;
    common::Bytes stream;
    std::size_t first_written;  // first address expected to hold the fill, or size for none
    std::size_t written;
  };
  common::Bytes partial = DataRecordStream({{0x000, 24}}, 0x11);
  partial.resize(31);
  const Case cases[] = {
      {"count above 24", DataRecordStream({{0x000, 25}}, 0x11), 0, 0},
      {"count zero", DataRecordStream({{0x000, 0}}, 0x11), 0, 0},
      {"trailing partial record", partial, 0, 0},
      {"past the end is dropped", DataRecordStream({{0x3F8, 24}}, 0x11), 0x3F8, 8},
  };
  for (const Case& c : cases) {
    DataAreaImage data{};
    ExtractDataArea(c.stream, data, kConstants.record_mask);
    const auto filled = std::count(data.begin(), data.end(), 0x11);
    EXPECT_EQ(static_cast<std::size_t>(filled), c.written) << c.name;
    if (c.written) {
      EXPECT_EQ(data[c.first_written], 0x11) << c.name;
    }
  }
}

TEST(ExtractImages, DataPassStopsOnceTheAreaIsFull) {
  common::Bytes stream;
  for (int r = 0; r < 43; ++r) {
    const auto more = DataRecordStream({{static_cast<std::uint16_t>(r * 24 % 0x400), 24}}, 0x22);
    stream.insert(stream.end(), more.begin(), more.end());
  }
  // A record after 1,024 copied bytes must not land.
  const auto late = DataRecordStream({{0x000, 24}}, 0x33);
  stream.insert(stream.end(), late.begin(), late.end());
  DataAreaImage data{};
  ExtractDataArea(stream, data, kConstants.record_mask);
  EXPECT_EQ(data[0], 0x22);
}

TEST(ImageSizeRules, FirmwareWindowAndConverters) {
  struct Case {
    std::size_t size;
    bool update_ok, large_enough, whole_records;
  };
  const Case cases[] = {
      {65535, false, false, false}, {65536, true, true, true},   {65540, false, true, false},
      {90976, true, true, true},    {65504, false, false, true}, {0, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!CheckUpdateImageSize(c.size).has_value(), c.update_ok) << c.size;
    EXPECT_EQ(BinSizeLargeEnough(c.size), c.large_enough) << c.size;
    EXPECT_EQ(BinSizeWholeRecords(c.size), c.whole_records) << c.size;
  }
  EXPECT_EQ(CheckUpdateImageSize(65535), messages::kBinFileError);
}

TEST(ReadBack, UndoesWhatTheGaugeReadOutPathDoes) {
  for (int value = 0; value < 256; ++value) {
    const auto byte = static_cast<std::uint8_t>(value);
    EXPECT_EQ(UnhideDataFlashByte(sim::HideDataFlashByte(byte, 0xA5), 0xA5), byte);
    for (std::uint32_t address : {0u, 0x41u, 0xF7FFu, 0xFBFFu}) {
      EXPECT_EQ(UnhideCodeFlashByte(sim::HideCodeFlashByte(byte, address, 0xA5), address, 0xA5),
                byte);
    }
  }
  // The code form depends on the address's low byte only.
  EXPECT_EQ(UnhideCodeFlashByte(0x12, 0x0141, 0x5A), UnhideCodeFlashByte(0x12, 0x0041, 0x5A));
  EXPECT_NE(UnhideCodeFlashByte(0x12, 0x0141, 0x5A), UnhideCodeFlashByte(0x12, 0x0142, 0x5A));
}

}  // namespace
}  // namespace cw::firmware
