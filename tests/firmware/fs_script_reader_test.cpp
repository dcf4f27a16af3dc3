// The check of an FS script before a play: every problem at its line, the converters' scripts
// clean.
#include "firmware/fs_script_reader.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "firmware/firmware_image.h"
#include "firmware/fs_script.h"
#include "fs_script_lines.h"
#include "link/pec.h"

namespace cw::firmware {
namespace {

using Kind = FsProblemKind;
using fs_lines::C;
using fs_lines::Check;
using fs_lines::W;

std::vector<std::pair<int, Kind>> Found(const FsCheckReport& report) {
  std::vector<std::pair<int, Kind>> found;
  for (const FsProblem& problem : report.problems) found.emplace_back(problem.line, problem.kind);
  return found;
}

struct Seeded {
  std::string name;
  std::string line;  // put on line 3, between good lines
  std::vector<Kind> kinds;
};

TEST(FsScriptCheck, FindsEachSeededProblemAtItsLine) {
  std::string thirty_three = "00";
  for (int i = 1; i < 33; ++i) thirty_three += " 00";
  std::string too_long = "70";
  for (int i = 0; i < 46; ++i) too_long += " 05";
  const std::vector<Seeded> table = {
      {"unknown kind", "R: 16 08 00", {Kind::kUnknownKind}},
      {"lower-case kind", "w: 16 77 00 00 00", {Kind::kUnknownKind}},
      {"one hex digit", "W: 16 77 0 00 5A", {Kind::kNotHexByte}},
      {"no hex digits", "W: 16 77 G0 00 5A", {Kind::kNotHexByte}},
      {"three hex digits", "C: 16 47 800 01 85", {Kind::kNotHexByte}},
      {"too short", "W: 16 77", {Kind::kTooShort}},
      {"write PEC", "W: 16 77 22 00 00", {Kind::kWritePec}},
      {"compare with the write's PEC", W("47 80 01").replace(0, 1, "C"), {Kind::kComparePec}},
      {"another address",
       fmt::format("W: 18 77 22 00 {:02X}", link::Pec({0x18, 0x77, 0x22, 0x00})),
       {Kind::kNotGaugeAddress}},
      {"count byte above the data", W("78 05 01 02 03 04"), {Kind::kCountMismatch}},
      {"count byte below the data", W("48 02 01 02 03"), {Kind::kCountMismatch}},
      {"block without count", W("2F"), {Kind::kCountMismatch}},
      {"33 data bytes", W("79 21 " + thirty_three), {Kind::kBlockLength}},
      {"empty block", W("7A 00"), {Kind::kBlockLength}},
      {"counted compare", C("78 04 01 02 03"), {Kind::kCountMismatch}},
      {"word command with one byte", W("77 22"), {Kind::kWordLength}},
      {"word compare with three bytes", C("47 80 01 00"), {Kind::kWordLength}},
      {"more than one transfer", W(too_long), {Kind::kTransferTooLong}},
      {"nothing to compare", C("47"), {Kind::kNothingToCompare}},
      {"wait missing", "X:", {Kind::kWaitMissing}},
      {"wait with unit", "X: 5ms", {Kind::kWaitNotNumber}},
      {"wait in hex", "X: 0x10", {Kind::kWaitNotNumber}},
      {"negative wait", "X: -5", {Kind::kWaitNegative}},
      {"absurd wait", "X: 60001", {Kind::kWaitTooLong}},
      {"wait beyond any number", "X: 99999999999999999999999", {Kind::kWaitTooLong}},
  };
  for (const Seeded& row : table) {
    const std::string script = fmt::format(";Header\n{}\n{}\nX: 2\n", W("77 00 00"), row.line);
    const FsCheckReport report = Check(script);
    std::vector<std::pair<int, Kind>> expected;
    for (Kind kind : row.kinds) expected.emplace_back(3, kind);
    EXPECT_EQ(Found(report), expected) << row.name << ": " << row.line;
    EXPECT_FALSE(report.clean()) << row.name;
    for (const FsProblem& problem : report.problems) EXPECT_FALSE(problem.text.empty());
  }
}

TEST(FsScriptCheck, ProblemsOfTheWholeFile) {
  const std::vector<std::tuple<std::string, std::string, int, Kind>> table = {
      {"empty", "", 0, Kind::kEmpty},
      {"blank", " \r\n\t\n", 0, Kind::kEmpty},
      {"comments only", ";a\n;b\n", 0, Kind::kNoSteps},
      {"binary at once",
       std::string("\x7F"
                   "ELF\x02\x01\x01\0",
                   8),
       1, Kind::kBinary},
      {"binary later", ";ok\n" + W("77 00 00") + "\n\x01\x02", 3, Kind::kBinary},
  };
  for (const auto& [name, text, line, kind] : table) {
    EXPECT_EQ(Found(Check(text)), (std::vector<std::pair<int, Kind>>{{line, kind}})) << name;
  }

  const auto dir = std::filesystem::temp_directory_path();
  const auto large = dir / "cw_fs_large.fs";
  std::ofstream(large) << "X: 1\n";
  std::filesystem::resize_file(large, kMaxFsScriptFileSize + 1);
  const FsCheckReport too_large = CheckFsScriptFile(large);
  EXPECT_EQ(Found(too_large), (std::vector<std::pair<int, Kind>>{{0, Kind::kTooLarge}}));
  EXPECT_FALSE(too_large.file_error);
  std::filesystem::remove(large);
  const FsCheckReport missing = CheckFsScriptFile(dir / "cw_fs_no_such_file.fs");
  ASSERT_TRUE(missing.file_error);
  EXPECT_EQ(missing.file_error->problem, common::FileProblem::kMissing);
}

TEST(FsScriptCheck, EveryProblemOfAFileIsReportedAndTheirNumberIsBounded) {
  std::string script;
  for (std::size_t i = 0; i < kMaxFsProblems + 5; ++i) script += "X: -1\n";
  const FsCheckReport report = Check(script);
  EXPECT_EQ(report.problems.size(), kMaxFsProblems);
  EXPECT_EQ(report.more_problems, 5u);
  EXPECT_EQ(report.problems.back().line, static_cast<int>(kMaxFsProblems));
}

TEST(FsScriptCheck, StepsCarryTheirFormAndWhetherAWriteCameBeforeTheCompare) {
  const std::string script = W("77 22 00") + "\r\nX: 2\r\n" + C("78 02 AA BB") + "\r\n" +
                             W("48 02 01 02") + "\r\n;c\r\n" + C("47 80 01") + "\r\n" +
                             C("47 80 01") + "\r\n" + W("00 41 00") + "\r\n" + W("22 01 02 03") +
                             "\r\n" + W("08") + "\r\n";
  const FsCheckReport report = Check(script);
  ASSERT_TRUE(report.clean()) << report.problems.front().text;
  EXPECT_EQ(report.script.line_count, 10);
  const auto& steps = report.script.steps;
  ASSERT_EQ(steps.size(), 9u);
  EXPECT_EQ(steps[0].form, FsWriteForm::kWord);
  EXPECT_EQ(steps[1].wait, common::Millis{2});
  EXPECT_FALSE(steps[2].after_write);
  EXPECT_EQ(steps[2].bytes, (common::Bytes{0x02, 0xAA, 0xBB}));
  EXPECT_EQ(steps[3].form, FsWriteForm::kBlock);
  EXPECT_EQ(steps[4].line, 6);
  EXPECT_TRUE(steps[4].after_write);
  EXPECT_TRUE(steps[5].after_write);
  EXPECT_EQ(steps[6].form, FsWriteForm::kWord);
  EXPECT_EQ(steps[7].form, FsWriteForm::kBytes);
  EXPECT_EQ(steps[8].form, FsWriteForm::kBytes);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < script.size(); at = script.find('\n', at) + 1) {
    lines.push_back(script.substr(at, script.find("\r\n", at) - at));
  }
  for (const FsStep& step : steps) {
    EXPECT_EQ(FsLineText(step), lines[static_cast<std::size_t>(step.line - 1)]);
  }
}

TEST(FsScriptCheck, TheConvertersScriptsAreClean) {
  dataflash::FlashImage flash{};
  for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<std::uint8_t>(i * 29 + 3);
  common::Bytes image(kImageSize);
  std::mt19937 random(7);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  for (const std::string& script : {AfiScript(flash), UpdateScript(image)}) {
    const FsCheckReport report = Check(script);
    EXPECT_TRUE(report.clean()) << report.problems.front().line << ": "
                                << report.problems.front().text;
  }
  const auto update = Check(UpdateScript(image)).script.steps;
  ASSERT_EQ(update.size(), 4 + 2 * 2843u);
  EXPECT_TRUE(std::ranges::all_of(update, [](const FsStep& step) {
    return step.kind != FsLineKind::kCompare || step.after_write;
  }));
  const auto afi = Check(AfiScript(flash)).script.steps;
  EXPECT_TRUE(std::ranges::none_of(afi, [](const FsStep& step) { return step.after_write; }));
}

}  // namespace
}  // namespace cw::firmware
