// FS scripts, the constants merge and the converters' files and names.
#include "firmware/fs_script.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "common/file_error.h"
#include "support/recording_sinks.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/messages.h"
#include "firmware/constants_merge.h"
#include "firmware/converters.h"
#include "firmware/file_io.h"
#include "firmware/messages.h"
#include "link/pec.h"
#include "support/link_fixture.h"

namespace cw::firmware {
namespace {

const common::ProductConstants kConstants{};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The bytes of a "W:" or "C:" line after its kind, and whether its last byte is the PEC over
// the others (with the read address inserted after the command for "C:").
bool PecHolds(const std::string& line) {
  std::istringstream in(line.substr(3));
  common::Bytes bytes;
  for (std::string hex; in >> hex;)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
  if (bytes.size() < 3) return false;
  const std::uint8_t pec = bytes.back();
  bytes.pop_back();
  if (line[0] == 'C') bytes.insert(bytes.begin() + 2, 0x17);
  return link::Pec(bytes) == pec;
}

dataflash::FlashImage PatternImage() {
  dataflash::FlashImage image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);
  return image;
}

TEST(AfiScript, FortyWriteAndReadSectionsWithExactLines) {
  const auto lines = Lines(AfiScript(PatternImage()));
  const auto count = [&](std::string_view prefix) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.starts_with(prefix); });
  };
  EXPECT_EQ(count(";Write SubclassID = "), 40);
  EXPECT_EQ(count(";Read SubclassID = "), 40);
  EXPECT_EQ(count("W: 16 77 "), 80);
  EXPECT_EQ(lines.front(), kScriptBanner);
  EXPECT_EQ(kScriptBanner.size(), 63u);
  for (const std::string& line : lines) {
    if (line.starts_with("W:") || line.starts_with("C:")) {
      EXPECT_TRUE(PecHolds(line)) << line;
    }
    EXPECT_TRUE(line.starts_with(";") || line.starts_with("W: 16 ") || line.starts_with("C: 16 ") ||
                line.starts_with("X: "))
        << line;
  }
  EXPECT_EQ(count("W: 16 00 45 00 09"), 1);
  EXPECT_EQ(count("W: 16 00 41 00 5D"), 1);

  // Subclass 0x34 (86 bytes, block 18): two full pages and a 22-byte remainder.
  const auto image = PatternImage();
  const auto at = std::find(lines.begin(), lines.end(),
                            ";Write SubclassID = 52 Parameters, Subclass length = 86");
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(at[1], kScriptBanner);
  EXPECT_EQ(at[2], fmt::format("W: 16 77 34 00 {:02X}", link::Pec({0x16, 0x77, 0x34, 0x00})));
  EXPECT_EQ(at[3], "X: 2");
  EXPECT_TRUE(at[4].starts_with("W: 16 78 20 ")) << at[4];
  EXPECT_EQ(at[5], "X: 5");
  EXPECT_TRUE(at[6].starts_with("W: 16 79 20 ")) << at[6];
  EXPECT_EQ(at[7], "X: 5");
  std::string remainder = "W: 16 7A 16";
  for (std::size_t i = 18 * 32 + 64; i < 18 * 32 + 86; ++i)
    remainder += fmt::format(" {:02X}", image[i]);
  EXPECT_TRUE(at[8].starts_with(remainder + " ")) << at[8];
  EXPECT_EQ(at[8].size(), remainder.size() + 3);
  EXPECT_EQ(at[9], "X: 5");
  EXPECT_EQ(at[10], kScriptBanner);

  // Subclass 0x00 (26 bytes): only a remainder line; its read section compares the same bytes.
  const auto first = std::find(lines.begin(), lines.end(),
                               ";Write SubclassID = 0 Parameters, Subclass length = 26");
  ASSERT_NE(first, lines.end());
  EXPECT_TRUE(first[4].starts_with("W: 16 78 1A ")) << first[4];
  EXPECT_EQ(first[6], kScriptBanner);
  const auto read = std::find(lines.begin(), lines.end(),
                              ";Read SubclassID = 0 Parameters, Subclass length = 26");
  ASSERT_NE(read, lines.end());
  EXPECT_EQ(read[4].substr(0, read[4].size() - 3), "C" + first[4].substr(1, first[4].size() - 4));
  EXPECT_EQ(read[5], "X: 2");

  // 0x5C-0x5F go out with their one-byte layout length.
  const auto wide = std::find(lines.begin(), lines.end(),
                              ";Write SubclassID = 92 Parameters, Subclass length = 1");
  ASSERT_NE(wide, lines.end());
  EXPECT_EQ(wide[4], fmt::format("W: 16 78 01 {:02X} {:02X}", image[58 * 32],
                                 link::Pec({0x16, 0x78, 0x01, image[58 * 32]})));
}

TEST(UpdateScript, EveryRecordIsWrittenAndCheckedWithTheFixedHandshake) {
  common::Bytes image(kImageSize);
  std::mt19937 random(1);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  const auto lines = Lines(UpdateScript(image));
  const std::vector<std::string> head = {
      std::string(kScriptBanner), ";Firmware Update Process", std::string(kScriptBanner),
      std::string(kScriptBanner), ";Enter into FU Mode",      std::string(kScriptBanner),
      "W: 16 47 00 F1 5A",        "W: 16 47 00 F2 53",        "C: 16 47 80 01 85",
      std::string(kScriptBanner), ";Program in FU Mode",      std::string(kScriptBanner)};
  ASSERT_GT(lines.size(), head.size() + 2 * 2843);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 12), head);
  for (std::size_t k = 0; k < 2843; ++k) {
    const std::string& write = lines[12 + 2 * k];
    ASSERT_TRUE(write.starts_with("W: 16 48 20 ")) << k;
    ASSERT_EQ(write.size(), std::string("W: 16 48 20").size() + 33 * 3) << k;
    ASSERT_EQ(write.substr(12, 2), fmt::format("{:02X}", image[k * 32])) << k;
    ASSERT_TRUE(PecHolds(write)) << k;
    ASSERT_EQ(lines[13 + 2 * k], "C: 16 47 80 01 85") << k;
  }
  const std::vector<std::string> tail = {std::string(kScriptBanner), ";Out FU Mode",
                                         std::string(kScriptBanner), "W: 16 47 00 FF 70"};
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()), tail);
  EXPECT_EQ(lines.size(), 12 + 2 * 2843 + 4u);
}

struct MergeInputs {
  common::Bytes bin;
  std::unique_ptr<ExtractedImages> original = std::make_unique<ExtractedImages>();
  dataflash::AfiImage afi;
};

MergeInputs RandomMergeInputs() {
  MergeInputs in;
  std::mt19937 random(21);
  for (std::size_t i = 0; i < kStreamedCodeSize; ++i)
    in.original->code[i] = static_cast<std::uint8_t>(random());
  in.original->code[0xF7CE] = in.original->code[0xF7CF] = 0;
  for (auto& byte : in.original->data) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : in.afi.image) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : in.afi.algorithm) byte = static_cast<std::uint8_t>(random());
  in.bin = BuildFirmwareImage(in.original->code, in.original->data, kConstants);
  return in;
}

TEST(MergeConstants, PlacesSubclassesAndKeepsTheBinWhereNoneLies) {
  const MergeInputs in = RandomMergeInputs();
  const auto merged = MergeConstantsIntoImages(in.bin, in.afi, kConstants.record_mask);
  const dataflash::FlashImage flash = FullFlashImage(in.afi);

  std::vector<bool> covered(kDataAreaSize, false);
  for (const auto& row : dataflash::kSubclassRows) {
    const std::size_t length = row.id >= 0x5C && row.id <= 0x5F ? 31 : row.length;
    for (std::size_t i = 0; i < length; ++i) {
      const std::uint8_t expected = flash[row.block * 32u + i];
      if (row.flash_address >= 0xF800) {
        ASSERT_EQ(merged->code[row.flash_address + i], expected) << int(row.id) << " " << i;
      } else {
        ASSERT_EQ(merged->data[row.flash_address + i], expected) << int(row.id) << " " << i;
        covered[row.flash_address + i] = true;
      }
    }
  }
  for (auto [from, to] :
       {std::pair{0x0E9, 0x0FF}, {0x1A6, 0x1FF}, {0x29C, 0x2FF}, {0x3BC, 0x3FF}}) {
    for (int a = from; a <= to; ++a) {
      EXPECT_FALSE(covered[a]) << a;
      EXPECT_EQ(merged->data[a], in.original->data[a]) << a;
    }
  }
  EXPECT_EQ(merged->code[0xFBFF], 0xFF);
  // 0xF8DE + 250 = 0xF9D8 up to 0xFA00 lies under no subclass: rebuilt as zeros.
  for (int a = 0xF9D8; a < 0xFA00; ++a) EXPECT_EQ(merged->code[a], 0) << a;
  EXPECT_TRUE(
      std::equal(merged->code.begin(), merged->code.begin() + 0xF800, in.original->code.begin()));
}

TEST(MergeConstants, NewImageDiffersOnlyInDataAreaAndCodeParameterRecords) {
  const MergeInputs in = RandomMergeInputs();
  const common::Bytes merged = MergeConstantsIntoImage(in.bin, in.afi, kConstants);
  ASSERT_EQ(merged.size(), in.bin.size());
  EXPECT_EQ(merged, MergeConstantsIntoImage(in.bin, in.afi, kConstants));
  int changed = 0;
  for (std::size_t r = 0; r < kImageRecordCount; ++r) {
    if (std::equal(merged.begin() + r * 32, merged.begin() + r * 32 + 32, in.bin.begin() + r * 32))
      continue;
    ++changed;
    ImageRecord record;
    std::copy_n(merged.begin() + r * 32, 32, record.begin());
    UnscrambleRecord(record, kConstants.record_mask);
    const int address = record[3] << 8 | record[4];
    const bool data_area = record[2] == kTypeData && record[5] == kSpaceData;
    const bool parameters = record[2] == kTypeData && record[5] == kSpaceCode &&
                            address + 24 > 0xF800 && address < 0xFC00;
    EXPECT_TRUE(data_area || parameters) << "record " << r;
  }
  EXPECT_GT(changed, 0);
}

std::filesystem::path TempDir() {
  auto dir = std::filesystem::temp_directory_path() /
             ("cw_fw_conv_" +
              std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// A pack's constants as the tool saves them: every key there.
void SavePackAfi(const std::filesystem::path& path) {
  test::LinkFixture fx;
  common::NullProgressSink progress;
  dataflash::DataFlashSession session(*fx.link, fx.messages, progress);
  ASSERT_TRUE(session.SaveGaugeToAfi(path).outcome);
}

TEST(Converters, OutputNames) {
  struct Case {
    const char* bin;
    const char* new_bin;
  };
  for (const Case& c : {Case{"origin.bin", "origin_new.bin"}, Case{"/a/FW.BIN", "/a/FW_new.bin"},
                        Case{"fw.Bin", "fw_new.bin"}, Case{"noext", "noext_new.bin"},
                        Case{"a.bin.x", "a.bin.x_new.bin"}}) {
    EXPECT_EQ(NewBinPath(c.bin).string(), c.new_bin) << c.bin;
  }
  EXPECT_EQ(AfiScriptPath("pack.afi").string(), "pack.afi.fs");
  EXPECT_EQ(UpdateScriptPath("fw.bin").string(), "fw.bin.fs");
  EXPECT_EQ(MergedScriptPath("fw.bin").string(), "fw.bin.AFIcombined.fs");
}

TEST(Converters, RefuseMissingInputsWithTheirMessages) {
  const auto dir = TempDir();
  const auto odd = dir / "odd.bin";
  ASSERT_TRUE(WriteWholeFile(odd, common::Bytes(65540)));
  const auto afi = dir / "a.afi";
  ASSERT_TRUE(WriteWholeFile(afi, std::string_view("[FlashData]\n")));
  struct Case {
    std::function<common::Outcome(common::MessageSink&)> run;
    std::string_view message;
  };
  const Case cases[] = {
      {[](auto& s) { return ConvertAfiToScript("", s); }, messages::kPleaseLoadAfi},
      {[](auto& s) { return ConvertBinToScript("", kConstants, s); },
       messages::kPleaseLoadBinFirst},
      {[&](auto& s) { return ConvertMergedToScript("", odd, kConstants, s); },
       messages::kPleaseLoadAfi},
      {[&](auto& s) { return ConvertMergedToScript(afi, "", kConstants, s); },
       messages::kPleaseLoadBinFirst},
      {[&](auto& s) { return ConvertNewBin(afi, odd, kConstants, s); },
       messages::kBinFileSizeError},
      {[&](auto& s) { return ConvertNewBin("", odd, kConstants, s); }, messages::kPleaseLoadAfi},
  };
  for (const Case& c : cases) {
    test::RecordingMessageSink sink;
    EXPECT_FALSE(c.run(sink));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{std::string(c.message)});
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "odd_new.bin"));
  std::filesystem::remove_all(dir);
}

TEST(Converters, NewBinIsWrittenBesideTheOldAndIsRepeatable) {
  const auto dir = TempDir();
  const MergeInputs in = RandomMergeInputs();
  ASSERT_TRUE(WriteWholeFile(dir / "origin.bin", common::ByteView(in.bin)));
  SavePackAfi(dir / "a.afi");
  test::RecordingMessageSink sink;
  ASSERT_TRUE(ConvertNewBin(dir / "a.afi", dir / "origin.bin", kConstants, sink));
  const auto first = ReadWholeFile(dir / "origin_new.bin");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), kImageSize);
  ASSERT_TRUE(ConvertNewBin(dir / "a.afi", dir / "origin.bin", kConstants, sink));
  EXPECT_EQ(ReadWholeFile(dir / "origin_new.bin"), first);
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{std::string(messages::kNewBinSuccess),
                                                    std::string(messages::kNewBinSuccess)}));
  // A folder where the new image should go cannot be replaced.
  std::filesystem::create_directories(dir / "x_new.bin" / "inside");
  ASSERT_TRUE(WriteWholeFile(dir / "x.bin", common::ByteView(in.bin)));
  sink.Clear();
  EXPECT_FALSE(ConvertNewBin(dir / "a.afi", dir / "x.bin", kConstants, sink));
  ASSERT_EQ(sink.Messages().size(), 2u);
  EXPECT_EQ(sink.Messages()[0].text, messages::kOpenFileError);
  EXPECT_EQ(sink.Messages()[0].icon, common::MessageIcon::kError);
  EXPECT_EQ(sink.Messages()[1].text,
            common::DescribeFileError(
                {common::FileProblem::kFolder, common::FileAccess::kWrite, dir / "x_new.bin"}));
  EXPECT_TRUE(std::filesystem::exists(dir / "x_new.bin" / "inside"));
  std::filesystem::remove_all(dir);
}

// A production file made from a damaged image or an incomplete .afi would program packs
// wrongly: every converter refuses such inputs and writes nothing.
TEST(Converters, DamagedInputsAreRefusedAndNothingIsWritten) {
  const auto dir = TempDir();
  const MergeInputs in = RandomMergeInputs();
  ASSERT_TRUE(WriteWholeFile(dir / "good.bin", common::ByteView(in.bin)));
  common::Bytes damaged = in.bin;
  damaged[40 * kRecordSize + 31] ^= 0x10;
  ASSERT_TRUE(WriteWholeFile(dir / "damaged.bin", common::ByteView(damaged)));
  SavePackAfi(dir / "good.afi");
  const common::Bytes saved = *ReadWholeFile(dir / "good.afi");
  std::string afi(saved.begin(), saved.end());
  afi.erase(afi.find("COV Time"), afi.find('\n', afi.find("COV Time")) - afi.find("COV Time") + 1);
  ASSERT_TRUE(WriteWholeFile(dir / "cut.afi", std::string_view(afi)));
  ASSERT_TRUE(WriteWholeFile(dir / "text.afi", std::string_view("hello\n")));

  const std::vector<std::string> damaged_bin = {
      std::string(messages::kBinFileError), fmt::format(fmt::runtime(messages::kRecordBadSum), 40)};
  const std::vector<std::string> cut_afi = {
      "Keys missing from the constants file (1): COV Time. Nothing was written."};
  const std::vector<std::string> text_afi = {
      fmt::format(fmt::runtime(dataflash::messages::kNotAConstantsFile),
                  (dir / "text.afi").string(), dataflash::messages::kNoFlashDataKeys)};
  struct Case {
    std::string name;
    std::function<common::Outcome(common::MessageSink&)> run;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"bin-fs", [&](auto& s) { return ConvertBinToScript(dir / "damaged.bin", kConstants, s); },
       damaged_bin},
      {"merge-fs bin",
       [&](auto& s) {
         return ConvertMergedToScript(dir / "good.afi", dir / "damaged.bin", kConstants, s);
       },
       damaged_bin},
      {"merge-bin bin",
       [&](auto& s) { return ConvertNewBin(dir / "good.afi", dir / "damaged.bin", kConstants, s); },
       damaged_bin},
      {"afi-fs", [&](auto& s) { return ConvertAfiToScript(dir / "cut.afi", s); }, cut_afi},
      {"merge-fs afi",
       [&](auto& s) {
         return ConvertMergedToScript(dir / "cut.afi", dir / "good.bin", kConstants, s);
       },
       cut_afi},
      {"merge-bin afi",
       [&](auto& s) { return ConvertNewBin(dir / "text.afi", dir / "good.bin", kConstants, s); },
       text_afi},
  };
  for (const Case& c : cases) {
    test::RecordingMessageSink sink;
    EXPECT_EQ(c.run(sink).verdict, common::Verdict::kRefused) << c.name;
    EXPECT_EQ(sink.Texts(), c.messages) << c.name;
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"cut.afi", "damaged.bin", "good.afi", "good.bin",
                                             "text.afi"}));

  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace cw::firmware
