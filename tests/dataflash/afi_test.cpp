#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dataflash/afi_commands.h"
#include "dataflash/afi_file.h"
#include "dataflash/algorithm_transform.h"
#include "dataflash/messages.h"
#include "dataflash_fixture.h"
#include "sim/subclass_table.h"

namespace cw::dataflash {
namespace {

using test::DataFlashFixture;

class AfiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("cw_afi_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
  }
  // Replaces the line of `key` (or removes it when `value` is empty).
  static std::string Edit(const std::string& text, const std::string& key,
                          std::optional<std::string> value) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(key + " = ", 0) == 0 || line.rfind(key + "=", 0) == 0) {
        if (value) out += key + "=" + *value + "\n";
        continue;
      }
      out += line + "\n";
    }
    return out;
  }

  std::filesystem::path dir_;
};

TEST_F(AfiTest, SaveWritesEveryKeyAndKeepsThePathsCase) {
  DataFlashFixture f;
  const auto result = SaveGaugeToAfi(f.page, dir_ / "Pack_A");
  ASSERT_TRUE(result.outcome);
  EXPECT_EQ(result.path, dir_ / "Pack_A.afi");
  EXPECT_EQ(f.link.messages.Texts().back(), messages::kSaveFinish);
  const auto reader = AfiReader::Open(result.path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Value("Manuf Date"), "2023-5-17");
  EXPECT_EQ(reader->Value("manuf date"), "2023-5-17");
  EXPECT_EQ(reader->Value("Over Temp Chg"), "55.0");
  EXPECT_EQ(reader->Value("Device Name"), "KT580714");
  EXPECT_NE(reader->Value("AlgorithmData158"), "");
  EXPECT_EQ(reader->Value("AlgorithmData159"), "");
  EXPECT_EQ(reader->AlgorithmData(), *result.algorithm);
  // Key order: the parameters in list order, then the algorithm data.
  const std::string text = Read(result.path);
  EXPECT_LT(text.find("LT COV Threshold"), text.find("CC Deadband Reg"));
  EXPECT_LT(text.find("CC Deadband Reg"), text.find("AlgorithmData0"));
}

TEST(AfiSavePathTest, AddsTheExtensionOnlyWhenMissing) {
  EXPECT_EQ(AfiSavePath("/tmp/x/Pack.AFI"), std::filesystem::path("/tmp/x/Pack.AFI"));
  EXPECT_EQ(AfiSavePath("/tmp/x/Pack.afi"), std::filesystem::path("/tmp/x/Pack.afi"));
  EXPECT_EQ(AfiSavePath("/tmp/x/pack"), std::filesystem::path("/tmp/x/pack.afi"));
  EXPECT_EQ(AfiSavePath("/tmp/x.afi/pack"), std::filesystem::path("/tmp/x.afi/pack.afi"));
  EXPECT_EQ(AfiSavePath("/tmp/x/pack.afi.bak"), std::filesystem::path("/tmp/x/pack.afi.bak.afi"));
}

TEST_F(AfiTest, ASavedFileLoadsBackWritingTheSameBytes) {
  DataFlashFixture f;
  const auto saved = SaveGaugeToAfi(f.page, dir_ / "round.afi");
  ASSERT_TRUE(saved.outcome);
  const auto before = f.link.pack->gauge().State().memory;

  DataFlashFixture g;  // a fresh page, as after a restart
  g.link.pack->gauge().Restore(f.link.pack->gauge().State());
  const auto loaded = LoadAfiToGauge(g.page, saved.path);
  ASSERT_TRUE(loaded.outcome);
  EXPECT_EQ(g.link.messages.Texts().back(), messages::kLoadSuccess);
  EXPECT_EQ(g.link.pack->gauge().State().memory, before);
  EXPECT_EQ(g.link.pack->gauge().resets(), 1);
  EXPECT_EQ(*loaded.algorithm, saved.algorithm);
}

TEST_F(AfiTest, AHandEditedFileLoadsWithItsValuesRemovedKeysAndClamps) {
  DataFlashFixture f;
  const auto saved = SaveGaugeToAfi(f.page, dir_ / "pack.afi");
  ASSERT_TRUE(saved.outcome);
  std::string text = Read(saved.path);
  text = Edit(text, "COV Time", "7");
  text = Edit(text, "Design Capacity", std::nullopt);  // removed: format-parsed, kept
  text = Edit(text, "Over Temp Chg", std::nullopt);    // removed: a decimal code reads 0
  text = Edit(text, "OCD1 Threshold", "500");          // out of limits: clamped to 0
  text = Edit(text, "AlgorithmData0", std::nullopt);   // removed: zeros
  Write(saved.path, text);

  ASSERT_TRUE(LoadAfiToGauge(f.page, saved.path).outcome);
  const auto memory = f.link.pack->gauge().State().memory;
  const auto bytes = [&](std::uint8_t id, std::size_t offset, std::size_t count) {
    return *memory.ReadSubclass(*sim::FindSubclassPlace(id), offset, count);
  };
  EXPECT_EQ(bytes(0x00, 20, 1), common::Bytes{7});
  EXPECT_EQ(bytes(0x30, 22, 2), (common::Bytes{0x12, 0xC0}));  // 4800 as it was
  EXPECT_EQ(bytes(0x02, 0, 2), (common::Bytes{0x0A, 0xAB}));   // 0.0 C
  EXPECT_EQ(bytes(0x01, 9, 2), (common::Bytes{0x00, 0x00}));
  // A missing AlgorithmData key is a stored 0: plain rotate-left-3(0 ^ 0x50) in the flash.
  EXPECT_EQ(bytes(0x50, 0, 4), (common::Bytes{0x82, 0x82, 0x82, 0x82}));
  EXPECT_EQ(f.page.value(*FindParam("OCD1 Threshold")).text, "0");
}

TEST_F(AfiTest, AnAlgorithmAreaTheGaugeDoesNotKeepFailsTheLoad) {
  DataFlashFixture f;
  const auto saved = SaveGaugeToAfi(f.page, dir_ / "pack.afi");
  ASSERT_TRUE(saved.outcome);
  Write(saved.path, Edit(Read(saved.path), "AlgorithmData70", "12345"));  // inside 0x53
  f.gauge.forget_writes_to = 0x53;
  const auto result = LoadAfiToGauge(f.page, saved.path);
  EXPECT_FALSE(result.outcome);
  EXPECT_EQ(f.link.messages.Texts().back(), messages::kLoadFail);
  EXPECT_EQ(f.link.pack->gauge().resets(), 0);
  EXPECT_FALSE(f.page.busy());
}

TEST_F(AfiTest, ASealedGaugeRefusesLoadAndSave) {
  DataFlashFixture f;
  Write(dir_ / "x.afi", "[FlashData]\nCOV Time=3\n");
  f.link.pack->gauge().SetSealState(sim::SealState::kSealed);
  EXPECT_FALSE(LoadAfiToGauge(f.page, dir_ / "x.afi").outcome);
  EXPECT_FALSE(SaveGaugeToAfi(f.page, dir_ / "y.afi").outcome);
  EXPECT_EQ(f.link.messages.Texts(),
            (std::vector<std::string>{std::string(messages::kSealedWriteAfi),
                                      std::string(messages::kSealedReadAfi)}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "y.afi"));
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
}

TEST_F(AfiTest, AMissingFileIsNoLoadAndAnUnwritableOneIsASaveError) {
  DataFlashFixture f;
  const auto missing = LoadAfiToGauge(f.page, dir_ / "none.afi");
  EXPECT_FALSE(missing.outcome);
  EXPECT_TRUE(missing.file_missing);
  EXPECT_TRUE(f.link.messages.Texts().empty());
  EXPECT_FALSE(SaveGaugeToAfi(f.page, dir_ / "no_dir" / "x.afi").outcome);
  EXPECT_EQ(f.link.messages.Texts().back(), messages::kSaveError);
}

TEST(AfiReaderTest, ReadsLikeTheProfileFunctions) {
  const auto reader = AfiReader::FromText(
      "[flashdata]\nDevice Name=" + std::string(40, 'n') +
      "\nAlgorithmData0=4294967295\nAlgorithmData63=16909060\n[Other]\nCOV Time=9\n");
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Value("DEVICE NAME"), std::string(32, 'n'));
  EXPECT_EQ(reader->Value("COV Time"), "");
  const AlgorithmArea area = reader->AlgorithmData();
  EXPECT_EQ(area[0], 0xFF);
  EXPECT_EQ(area[3], 0xFF);
  // Key 63 is the first of 0x53, at block 46.
  EXPECT_EQ(area[(46 - 38) * 32 + 0], 0x01);
  EXPECT_EQ(area[(46 - 38) * 32 + 3], 0x04);
  EXPECT_EQ(AlgorithmKeyAt(158).area_offset, (61u - 38) * 32);
}

TEST(LoadAfiImageTest, GivesStoredOrPlainFormWithTheCopiedBytes) {
  std::string text = "[FlashData]\nCOV Time=3\nDevice Name=PACK\n";
  // 0x58 (keys 123 to 130): plain bytes 0..31 = i, written in stored form.
  for (std::size_t k = 0; k < 8; ++k) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      value = value << 8 | PlainToStored(static_cast<std::uint8_t>(4 * k + i), 0x58);
    }
    text += "AlgorithmData" + std::to_string(123 + k) + "=" + std::to_string(value) + "\n";
  }
  const auto reader = AfiReader::FromText(text);
  ASSERT_TRUE(reader);
  const AfiImage stored = AfiImageFrom(*reader, true);
  const AfiImage plain = AfiImageFrom(*reader, false);
  EXPECT_EQ(stored.image[20], 3);
  EXPECT_EQ(stored.image[13 * 32 + 52], 4);
  EXPECT_EQ(stored.algorithm[(54 - 38) * 32 + 5], PlainToStored(5, 0x58));
  EXPECT_EQ(plain.algorithm[(54 - 38) * 32 + 5], 5);
  const std::size_t target = (58 - 38) * 32;                   // 0x5C
  EXPECT_EQ(plain.algorithm[target], StoredToPlain(0, 0x5C));  // byte 0 keeps its own value
  for (std::size_t i = 1; i <= 30; ++i) EXPECT_EQ(plain.algorithm[target + i], i);
  EXPECT_EQ(plain.algorithm[target + 31], StoredToPlain(0, 0x5C));
  // The stored form is the file's, without the copy.
  EXPECT_EQ(stored.algorithm[target + 1], 0);
}

}  // namespace
}  // namespace cw::dataflash
