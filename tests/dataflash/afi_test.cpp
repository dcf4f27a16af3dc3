#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "../common/file_size_limit.h"
#include "common/file_error.h"
#include "dataflash/afi_file.h"
#include "dataflash/algorithm_transform.h"
#include "dataflash/data_flash_session.h"
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
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
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
  // The line (from 1) of the last line giving `key`, as a load names it.
  static std::size_t LineOf(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    std::size_t number = 0;
    std::size_t found = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      if (line.rfind(key + " = ", 0) == 0 || line.rfind(key + "=", 0) == 0) found = number;
    }
    return found;
  }
  // "key = value (line N)" of `text`.
  static std::string At(const std::string& text, const std::string& key, const std::string& value) {
    return key + " = " + value + " (line " + std::to_string(LineOf(text, key)) + ")";
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path dir_;
};

// The gauge's own bytes (plain form) of a subclass.
common::Bytes GaugeBytes(DataFlashFixture& f, std::uint8_t id, std::size_t offset,
                         std::size_t count) {
  return *f.link.pack->gauge().State().memory.ReadSubclass(*sim::FindSubclassPlace(id), offset,
                                                           count);
}

void SetGaugeBytes(DataFlashFixture& f, std::uint8_t id, std::size_t offset,
                   common::ByteView bytes) {
  auto state = f.link.pack->gauge().State();
  ASSERT_TRUE(state.memory.WriteSubclass(*sim::FindSubclassPlace(id), offset, bytes));
  f.link.pack->gauge().Restore(state);
}

std::string FileError(common::FileProblem problem, common::FileAccess access,
                      const std::filesystem::path& path) {
  return common::DescribeFileError({problem, access, path});
}

TEST_F(AfiTest, SaveWritesEveryKeyAndKeepsThePathsCase) {
  DataFlashFixture f;
  const auto result = f.session.SaveGaugeToAfi(dir_ / "Pack_A");
  ASSERT_TRUE(result.outcome);
  EXPECT_EQ(result.path, dir_ / "Pack_A.afi");
  EXPECT_EQ(f.link.messages.Texts().back(), messages::kSaveFinish);
  const auto reader = AfiReader::Open(result.path);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Value("Manuf Date"), "1980-1-1");
  EXPECT_EQ(reader->Value("manuf date"), "1980-1-1");
  EXPECT_EQ(reader->Value("Over Temp Chg"), "55.0");
  EXPECT_EQ(reader->Value("Device Name"), "KT580714");
  EXPECT_NE(reader->Value("AlgorithmData158"), "");
  EXPECT_FALSE(reader->Find("AlgorithmData159"));
  const AfiValues values = ReadAfiValues(*reader);
  EXPECT_TRUE(values.missing.empty());
  EXPECT_TRUE(values.invalid.empty());
  EXPECT_EQ(values.algorithm, *result.algorithm);
  // Key order: the parameters in list order, then the algorithm data.
  const std::string text = Read(result.path);
  EXPECT_LT(text.find("LT COV Threshold"), text.find("CC Deadband Reg"));
  EXPECT_LT(text.find("CC Deadband Reg"), text.find("AlgorithmData0"));
  EXPECT_EQ(Names(), std::vector<std::string>{"Pack_A.afi"}) << "no temporary file stays";
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
  const auto saved = f.session.SaveGaugeToAfi(dir_ / "round.afi");
  ASSERT_TRUE(saved.outcome);
  const auto before = f.link.pack->gauge().State().memory;

  DataFlashFixture g;  // a fresh page, as after a restart
  g.link.pack->gauge().Restore(f.link.pack->gauge().State());
  const auto loaded = g.session.LoadAfiToGauge(saved.path);
  ASSERT_TRUE(loaded.outcome);
  EXPECT_EQ(g.link.messages.Texts(), std::vector<std::string>{std::string(messages::kLoadSuccess)});
  EXPECT_EQ(g.link.pack->gauge().State().memory, before);
  EXPECT_EQ(g.link.pack->gauge().resets(), 1);
  EXPECT_EQ(*loaded.algorithm, saved.algorithm);
}

TEST_F(AfiTest, MissingKeysKeepTheGaugesValuesAndAreListed) {
  DataFlashFixture f;
  const auto saved = f.session.SaveGaugeToAfi(dir_ / "pack.afi");
  ASSERT_TRUE(saved.outcome);
  std::string text = Read(saved.path);
  text = Edit(text, "COV Time", "7");
  text = Edit(text, "Over Temp Chg", std::nullopt);
  text = Edit(text, "Design Capacity", std::nullopt);
  text = Edit(text, "OCD1 Threshold", "500");  // out of limits: clamped to 0
  text = Edit(text, "AlgorithmData0", std::nullopt);
  Write(saved.path, text);
  // The gauge moves on after the save: what it holds now is what a missing key keeps, to the
  // byte, even where its text would not give the bytes back.
  SetGaugeBytes(f, 0x02, 0, common::Bytes{0x0B, 0xA5});   // Over Temp Chg 25.0
  SetGaugeBytes(f, 0x30, 22, common::Bytes{0x90, 0x00});  // Design Capacity: past its limits
  SetGaugeBytes(f, 0x50, 0, common::Bytes{1, 2, 3, 4});
  f.link.messages.Clear();

  const auto loaded = f.session.LoadAfiToGauge(saved.path);
  ASSERT_TRUE(loaded.outcome);
  EXPECT_EQ(GaugeBytes(f, 0x00, 20, 1), common::Bytes{7});
  EXPECT_EQ(GaugeBytes(f, 0x02, 0, 2), (common::Bytes{0x0B, 0xA5}));
  EXPECT_EQ(GaugeBytes(f, 0x30, 22, 2), (common::Bytes{0x90, 0x00}));
  EXPECT_EQ(GaugeBytes(f, 0x01, 9, 2), (common::Bytes{0x00, 0x00}));
  EXPECT_EQ(GaugeBytes(f, 0x50, 0, 4), (common::Bytes{1, 2, 3, 4}));
  EXPECT_EQ(f.session.View().values[*FindParam("OCD1 Threshold")].text, "0");
  // Rows in list order, then the algorithm data.
  std::vector<std::string> missing;
  for (const ParamDef& row : kParams) {
    if (row.name == "Over Temp Chg" || row.name == "Design Capacity")
      missing.emplace_back(row.name);
  }
  missing.emplace_back("AlgorithmData0");
  EXPECT_EQ(f.link.messages.Texts(),
            (std::vector<std::string>{
                "Values in the constants file taken as other values (1): " +
                    At(text, "OCD1 Threshold", "500") + " as 0.",
                "Keys missing from the constants file (3) keep the gauge's own values: " +
                    FirstNames(missing) + ".",
                std::string(messages::kLoadSuccess)}));
}

TEST_F(AfiTest, WhatTheGaugeDoesNotKeepFailsTheLoad) {
  struct Case {
    std::string key, value;
    std::uint8_t forgetful_subclass;
    std::string state_message;
  };
  const Case cases[] = {
      // Write All itself finds an algorithm area that differs and sends no reset.
      {"AlgorithmData70", "12345", 0x53, std::string(messages::kLoadPartlyWritten)},
      // A parameter is compared after Write All.
      {"COV Time", "7", 0x00,
       "The data flash was written, but the gauge reads back other values for these parameters "
       "(1): COV Time."},
  };
  for (const Case& c : cases) {
    DataFlashFixture f;
    const auto saved = f.session.SaveGaugeToAfi(dir_ / "pack.afi");
    ASSERT_TRUE(saved.outcome);
    Write(saved.path, Edit(Read(saved.path), c.key, c.value));
    f.gauge.forget_writes_to = c.forgetful_subclass;
    f.link.messages.Clear();
    const auto result = f.session.LoadAfiToGauge(saved.path);
    EXPECT_FALSE(result.outcome) << c.key;
    EXPECT_TRUE(result.outcome.gauge_changed) << c.key;
    EXPECT_EQ(f.link.messages.Texts(),
              (std::vector<std::string>{std::string(messages::kLoadFail), c.state_message}))
        << c.key;
    EXPECT_FALSE(f.session.View().busy);
  }
}

TEST_F(AfiTest, AFaultDuringTheLoadSaysWhatTheGaugeHoldsNow) {
  struct Case {
    const char* name;
    bool drop_a_key;
    std::function<bool(const test::BusTransaction&)> nack;
    std::string state_message;
    bool anything_written;
  };
  int writes = 0;
  const Case cases[] = {
      {"the values of missing keys cannot be read", true,
       [](const test::BusTransaction& t) { return !t.write && t.command >= 0x78; },
       std::string(messages::kLoadNothingWritten), false},
      {"a page write fails halfway", false,
       [&writes](const test::BusTransaction& t) {
         return t.write && t.command >= 0x78 && ++writes > 10;
       },
       std::string(messages::kLoadPartlyWritten), true},
  };
  for (const Case& c : cases) {
    DataFlashFixture f;
    const auto saved = f.session.SaveGaugeToAfi(dir_ / "pack.afi");
    ASSERT_TRUE(saved.outcome);
    if (c.drop_a_key) Write(saved.path, Edit(Read(saved.path), "COV Time", std::nullopt));
    f.gauge.nack = c.nack;
    f.link.messages.Clear();
    f.TakeFlashTraffic();
    const auto result = f.session.LoadAfiToGauge(saved.path);
    EXPECT_FALSE(result.outcome) << c.name;
    const auto texts = f.link.messages.Texts();
    ASSERT_GE(texts.size(), 2u) << c.name;
    EXPECT_EQ(texts[texts.size() - 2], messages::kLoadFail) << c.name;
    EXPECT_EQ(texts.back(), c.state_message) << c.name;
    const auto traffic = f.TakeFlashTraffic();
    const bool wrote = std::ranges::any_of(
        traffic, [](const test::BusTransaction& t) { return t.write && t.command >= 0x78; });
    EXPECT_EQ(wrote, c.anything_written) << c.name;
    EXPECT_EQ(f.link.pack->gauge().resets(), 0) << c.name;
  }
}

TEST_F(AfiTest, ASealedGaugeRefusesLoadAndSave) {
  DataFlashFixture f;
  Write(dir_ / "x.afi", "[FlashData]\nCOV Time=3\n");
  f.link.pack->gauge().SetSealState(sim::SealState::kSealed);
  EXPECT_FALSE(f.session.LoadAfiToGauge(dir_ / "x.afi").outcome);
  EXPECT_FALSE(f.session.SaveGaugeToAfi(dir_ / "y.afi").outcome);
  EXPECT_EQ(f.link.messages.Texts(),
            (std::vector<std::string>{std::string(messages::kSealedWriteAfi),
                                      std::string(messages::kSealedReadAfi)}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "y.afi"));
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
}

// Files that are no constants file, or hold a value no parameter takes, change nothing.
TEST_F(AfiTest, FilesThatCannotBeTakenAreRefusedBeforeAnythingIsSent) {
  DataFlashFixture f;
  const auto saved = f.session.SaveGaugeToAfi(dir_ / "good.afi");
  ASSERT_TRUE(saved.outcome);
  const std::string good = Read(saved.path);
  const auto not_constants = [&](const std::string& name, std::string_view reason) {
    return (dir_ / name).string() + " is not a constants file: " + std::string(reason) + ".";
  };
  const auto invalid = [](const std::string& text, const std::string& key,
                          const std::string& value) {
    return "Values in the constants file that no parameter takes (1): " + At(text, key, value) +
           ". Nothing was written.";
  };
  struct Case {
    std::string name;
    std::string content;
    std::string message;
  };
  common::FileError too_large{common::FileProblem::kTooLarge, common::FileAccess::kRead,
                              dir_ / "big.afi"};
  too_large.limit = kMaxAfiFileSize;
  const Case cases[] = {
      {"empty.afi", "", not_constants("empty.afi", messages::kNoFlashDataKeys)},
      {"header.afi", "[FlashData]\n", not_constants("header.afi", messages::kNoFlashDataKeys)},
      {"other.afi", "[Other]\nCOV Time=3\n",
       not_constants("other.afi", messages::kNoFlashDataKeys)},
      {"garbage.afi",
       "\x7f"
       "ELF\x02\x01 = \xff\xfe\n[[[\n",
       not_constants("garbage.afi", messages::kNoFlashDataKeys)},
      {"unknown.afi", "[FlashData]\nColour=blue\nAlgorithmData159=1\n",
       not_constants("unknown.afi", messages::kNoFlashDataKeys)},
      {"nul.afi", std::string("[FlashData]\nCOV Time=3\n\0CUV Threshold=0\n", 39),
       not_constants("nul.afi", messages::kHoldsNul)},
      {"hex.afi", Edit(good, "Design Capacity", "ZZZZ"), invalid(good, "Design Capacity", "ZZZZ")},
      {"suffix.afi", Edit(good, "AlgorithmData5", "12x"), invalid(good, "AlgorithmData5", "12x")},
      {"negative.afi", Edit(good, "AlgorithmData6", "-1"), invalid(good, "AlgorithmData6", "-1")},
      {"wide.afi", Edit(good, "AlgorithmData7", "4294967296"),
       invalid(good, "AlgorithmData7", "4294967296")},
      {"big.afi", "[FlashData]\nCOV Time=3\n" + std::string(kMaxAfiFileSize, ';'),
       common::DescribeFileError(too_large)},
  };
  const auto memory = f.link.pack->gauge().State().memory;
  for (const Case& c : cases) {
    Write(dir_ / c.name, c.content);
  }
  std::filesystem::create_directories(dir_ / "folder.afi");
  ASSERT_EQ(::mkfifo((dir_ / "fifo.afi").c_str(), 0600), 0);
  std::vector<std::pair<std::string, std::string>> all;
  for (const Case& c : cases) all.emplace_back(c.name, c.message);
  all.emplace_back("folder.afi", FileError(common::FileProblem::kFolder, common::FileAccess::kRead,
                                           dir_ / "folder.afi"));
  all.emplace_back("fifo.afi", FileError(common::FileProblem::kNotRegular,
                                         common::FileAccess::kRead, dir_ / "fifo.afi"));
  for (const auto& [name, message] : all) {
    f.link.messages.Clear();
    f.TakeFlashTraffic();
    const auto result = f.session.LoadAfiToGauge(dir_ / name);
    EXPECT_EQ(result.outcome.verdict, common::Verdict::kRefused) << name;
    EXPECT_FALSE(result.outcome.gauge_changed) << name;
    EXPECT_EQ(f.link.messages.Texts(), std::vector<std::string>{message}) << name;
    EXPECT_TRUE(f.TakeFlashTraffic().empty()) << name;
  }
  EXPECT_EQ(f.link.pack->gauge().State().memory, memory);
  EXPECT_EQ(f.link.pack->gauge().resets(), 0);
}

TEST_F(AfiTest, AMissingFileIsNoLoad) {
  DataFlashFixture f;
  const auto missing = f.session.LoadAfiToGauge(dir_ / "none.afi");
  EXPECT_FALSE(missing.outcome);
  EXPECT_TRUE(missing.file_missing);
  EXPECT_TRUE(f.link.messages.Texts().empty());
}

// A save that cannot be written says why and leaves what was at the path as it was.
TEST_F(AfiTest, ASaveThatCannotBeWrittenLeavesThePathAsItWas) {
  struct Case {
    std::string name;
    std::function<void(const std::filesystem::path&)> prepare;
    bool read_first;  // a folder is refused before the data flash is read
    std::string cause_part;
  };
  const Case cases[] = {
      {"folder.afi", [](const auto& path) { std::filesystem::create_directories(path); }, false,
       ": it is a folder. Nothing was written."},
      {"full.afi", [](const auto& path) { Write(path, "old"); }, true,
       ": File too large. The existing file was left unchanged."},
  };
  for (const Case& c : cases) {
    DataFlashFixture f;
    const auto path = dir_ / c.name;
    c.prepare(path);
    const auto names = Names();
    f.TakeFlashTraffic();
    AfiSaveResult result;
    {
      // The disk fills up at 4 KiB: the .afi is about three times as long.
      const test::FileSizeLimit full_disk(4096);
      result = f.session.SaveGaugeToAfi(path);
    }
    EXPECT_FALSE(result.outcome) << c.name;
    const auto texts = f.link.messages.Texts();
    ASSERT_EQ(texts.size(), 2u) << c.name;
    EXPECT_EQ(texts[0], messages::kSaveError) << c.name;
    EXPECT_EQ(texts[1], "Can not write the file " + path.string() + c.cause_part) << c.name;
    EXPECT_EQ(!f.TakeFlashTraffic().empty(), c.read_first) << c.name;
    EXPECT_EQ(Names(), names) << c.name << ": no temporary file stays";
  }
  EXPECT_EQ(Read(dir_ / "full.afi"), "old");
}

TEST(AfiReaderTest, ReadsLikeTheProfileFunctions) {
  const auto reader = AfiReader::FromText(
      "[flashdata]\nDevice Name=" + std::string(40, 'n') +
      "\nAlgorithmData0=4294967295\nAlgorithmData63=16909060\n[Other]\nCOV Time=9\n");
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Value("DEVICE NAME"), std::string(32, 'n'));
  EXPECT_FALSE(reader->Find("COV Time"));
  const AfiValues values = ReadAfiValues(*reader);
  EXPECT_EQ(values.missing.size(), kParamCount - 1 + kAlgorithmKeyCount - 2);
  const AlgorithmArea& area = values.algorithm;
  EXPECT_EQ(area[0], 0xFF);
  EXPECT_EQ(area[3], 0xFF);
  // Key 63 is the first of 0x53, at block 46.
  EXPECT_EQ(area[(46 - 38) * 32 + 0], 0x01);
  EXPECT_EQ(area[(46 - 38) * 32 + 3], 0x04);
  EXPECT_EQ(AlgorithmKeyAt(158).area_offset, (61u - 38) * 32);
}

TEST(AfiReaderTest, AKeyIsItsNameWhateverItsBlanksAndCase) {
  const auto reader = AfiReader::FromText("[FlashData]\nsleepcurrent = 12\nCOV  Time=9\n");
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Find("Sleep Current"), "12");
  EXPECT_EQ(reader->Find("COV Time"), "9");
  EXPECT_EQ(reader->Lines("Sleep Current"), std::vector<std::size_t>{2});
  EXPECT_FALSE(reader->Find("Sleep"));
}

TEST(AfiReaderTest, ListsTheFirstNamesAndCountsTheRest) {
  EXPECT_EQ(FirstNames({"A"}), "A");
  EXPECT_EQ(FirstNames({"A", "B", "C", "D", "E"}), "A, B, C, D, E");
  EXPECT_EQ(FirstNames({"A", "B", "C", "D", "E", "F", "G"}), "A, B, C, D, E and 2 more");
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
  const AfiValues values = ReadAfiValues(*reader);
  const AfiImage stored = AfiImageFrom(values, true);
  const AfiImage plain = AfiImageFrom(values, false);
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

// Without a gauge there is no value to keep in a missing key's place.
TEST_F(AfiTest, AConversionTakesOnlyACompleteFile) {
  DataFlashFixture f;
  const auto saved = f.session.SaveGaugeToAfi(dir_ / "pack.afi");
  ASSERT_TRUE(saved.outcome);
  const std::string good = Read(saved.path);
  ASSERT_TRUE(LoadAfiImage(saved.path, true));
  Write(dir_ / "cut.afi",
        Edit(Edit(good, "COV Time", std::nullopt), "AlgorithmData9", std::nullopt));
  const auto cut = LoadAfiImage(dir_ / "cut.afi", true);
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error(),
            "Keys missing from the constants file (2): COV Time, AlgorithmData9. Nothing was "
            "written.");
  Write(dir_ / "bad.afi", Edit(good, "AlgorithmData9", "x"));
  const auto bad = LoadAfiImage(dir_ / "bad.afi", false);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), "Values in the constants file that no parameter takes (1): " +
                             At(good, "AlgorithmData9", "x") + ". Nothing was written.");
}

// A value that is not wholly a value of its row refuses the file, by key and line, before
// anything is sent; the converters refuse it the same way.
TEST_F(AfiTest, AValueReadOnlyByItsFirstDigitsRefusesTheFile) {
  DataFlashFixture f;
  const auto saved = f.session.SaveGaugeToAfi(dir_ / "good.afi");
  ASSERT_TRUE(saved.outcome);
  const std::string good = Read(saved.path);
  const auto memory = f.link.pack->gauge().State().memory;
  for (const std::string value : {"26\xC3\xA9"
                                  "0",
                                  "26 00", "1e3", "0x10", "0xA28", "0b1", "2600abc"}) {
    const std::string text = Edit(good, "CUV Threshold", value);
    Write(dir_ / "bad.afi", text);
    const std::string refusal = "Values in the constants file that no parameter takes (1): " +
                                At(text, "CUV Threshold", value) + ". Nothing was written.";
    f.link.messages.Clear();
    f.TakeFlashTraffic();
    const auto result = f.session.LoadAfiToGauge(dir_ / "bad.afi");
    EXPECT_EQ(result.outcome.verdict, common::Verdict::kRefused) << value;
    EXPECT_EQ(f.link.messages.Texts(), std::vector<std::string>{refusal}) << value;
    EXPECT_TRUE(f.TakeFlashTraffic().empty()) << value;
    const auto image = LoadAfiImage(dir_ / "bad.afi", true);
    ASSERT_FALSE(image) << value;
    EXPECT_EQ(image.error(), refusal) << value;
  }
  EXPECT_EQ(f.link.pack->gauge().State().memory, memory);
}

// What a file says that the gauge cannot hold as it stands is written clamped, cut or moved by
// the date rule, and said, key by key with its line; a key given twice is said too (the last
// value is taken). None of it fails the load.
TEST_F(AfiTest, AValueTakenAsAnotherIsSaidAndTheLoadGoesOn) {
  DataFlashFixture f;
  const auto saved = f.session.SaveGaugeToAfi(dir_ / "pack.afi");
  ASSERT_TRUE(saved.outcome);
  const std::map<std::string, std::pair<std::string, std::string>> changed = {
      {"CUV Threshold", {"70000", "32767"}},
      {"AFE OC Dsg Time", {"80", "0F"}},
      {"Manuf Date", {"2108-1-1", "2107-1-1"}},
      {"Device Chemistry", {"LIONX", "LION"}},
  };
  const std::string original = Read(saved.path);
  std::string text = original;
  for (const auto& [key, values] : changed) text = Edit(text, key, values.first);
  const std::size_t first_cov = LineOf(text, "COV Time");
  text += "COV Time=5\n";
  Write(saved.path, text);
  std::string items;
  for (const ParamDef& row : kParams) {
    const auto found = changed.find(std::string(row.name));
    if (found == changed.end()) continue;
    items += (items.empty() ? "" : ", ") + At(text, found->first, found->second.first) + " as " +
             found->second.second;
  }
  const std::vector<std::string> warnings = {
      "Values in the constants file taken as other values (4): " + items + ".",
      "Keys given more than once in the constants file (1): COV Time (lines " +
          std::to_string(first_cov) + ", " + std::to_string(LineOf(text, "COV Time")) +
          "); the last value of each is taken."};
  f.link.messages.Clear();

  const auto loaded = f.session.LoadAfiToGauge(saved.path);
  EXPECT_EQ(loaded.outcome.verdict, common::Verdict::kDone);
  std::vector<std::string> shown = warnings;
  shown.emplace_back(messages::kLoadSuccess);
  EXPECT_EQ(f.link.messages.Texts(), shown);
  EXPECT_EQ(GaugeBytes(f, 0x00, 21, 2), (common::Bytes{0x7F, 0xFF}));
  EXPECT_EQ(GaugeBytes(f, 0x00, 20, 1), common::Bytes{5});
  EXPECT_EQ(GaugeBytes(f, 0x01, 19, 1), common::Bytes{0x0F});
  EXPECT_EQ(GaugeBytes(f, 0x30, 14, 2), (common::Bytes{0xFE, 0x21}));
  EXPECT_EQ(GaugeBytes(f, 0x30, 26, 5), (common::Bytes{4, 'L', 'I', 'O', 'N'}));

  const auto image = LoadAfiImage(saved.path, true);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->warnings, warnings);
  EXPECT_EQ(image->image[21], 0x7F);

  // A day its month does not have is written as it stands, with a word.
  text = Edit(original, "Manuf Date", "2023-2-30");
  Write(dir_ / "date.afi", text);
  const auto date = LoadAfiImage(dir_ / "date.afi", true);
  ASSERT_TRUE(date);
  EXPECT_EQ(date->warnings,
            std::vector<std::string>{At(text, "Manuf Date", "2023-2-30") +
                                     " is no date of the calendar; it is taken as it stands."});
}

}  // namespace
}  // namespace cw::dataflash
