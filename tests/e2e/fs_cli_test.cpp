// fs check and fs play the way a production engineer runs them: the converters' scripts, the
// simulated pack they leave behind, and where a failed play stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

std::uint8_t Crc8(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t crc = 0;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
  }
  return crc;
}

// "W: 16 ..." or "C: 16 ..." of `bytes` (address first) with the PEC the line must carry.
std::string ScriptLine(char kind, std::vector<std::uint8_t> bytes) {
  std::vector<std::uint8_t> covered = bytes;
  if (kind == 'C') covered.insert(covered.begin() + 2, 0x17);
  bytes.push_back(Crc8(covered));
  std::string line(1, kind);
  line += ":";
  for (std::uint8_t byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", byte);
    line += hex;
  }
  return line;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// A state file without the lines of `keys`: what two ways of programming a pack must agree on.
std::string StateWithout(const std::string& state, const std::vector<std::string>& keys) {
  std::vector<std::string> kept;
  for (const std::string& line : Lines(state)) {
    const bool dropped = std::ranges::any_of(
        keys, [&](const std::string& key) { return line.find("\"" + key + "\":") != line.npos; });
    if (!dropped) kept.push_back(line);
  }
  return Joined(kept);
}

// The state with bytes [first, end) of a hex field blanked out.
std::string MaskHexField(std::string state, const std::string& key, std::size_t first,
                         std::size_t end) {
  const std::size_t at = state.find("\"" + key + "\": \"");
  if (at == std::string::npos) return state;
  const std::size_t value = at + key.size() + 5;
  return state.replace(value + 2 * first, 2 * (end - first), 2 * (end - first), '-');
}

class FsCli : public ScratchFolderTest {
 protected:
  // A simulated pack on the virtual clock, kept in `state`.
  std::string Pack(const std::string& state, const std::string& more = "") const {
    return "--device sim:clock=virtual" + more + ":state=" + P(state) + " ";
  }

  // a.afi: the fresh pack's constants; b.afi: the same with three values changed.
  void MakeConstants() {
    ASSERT_EQ(RunCli(Pack("source.json") + "df read-all -o " + P("a.afi")).exit_code, 0);
    std::string afi = Read(P("a.afi"));
    for (const auto& [key, value] :
         {std::pair{"COV Time", "4"}, {"CUV Threshold", "2700"}, {"OCPC Recovery", "460"}}) {
      const std::regex line(std::string("(^|\n)") + key + " = [^\n]*");
      ASSERT_TRUE(std::regex_search(afi, line)) << key;
      afi = std::regex_replace(afi, line, std::string("$1") + key + " = " + value);
    }
    Write(P("b.afi"), afi);
  }
  // f.bin: the fresh pack's firmware; f_new.bin: the same carrying b.afi.
  void MakeImages() {
    MakeConstants();
    ASSERT_EQ(RunCli(Pack("source.json") + "fw export " + P("f.bin")).exit_code, 0);
    ASSERT_EQ(RunCli("convert merge-bin " + P("b.afi") + " " + P("f.bin")).exit_code, 0);
  }

  // Programs one fresh pack with `command` and another by playing `script`: their state files.
  std::pair<std::string, std::string> ProgramBothWays(const std::string& command,
                                                      const std::string& script) {
    const CliRun by_command = RunCli(Pack("by_command.json") + command);
    EXPECT_EQ(by_command.exit_code, 0) << by_command.err;
    const CliRun by_script = RunCli(Pack("by_script.json") + "fs play " + P(script));
    EXPECT_EQ(by_script.exit_code, 0) << by_script.err;
    return {Read(P("by_command.json")), Read(P("by_script.json"))};
  }
};

TEST_F(FsCli, TheConvertersScriptsPassTheCheck) {
  MakeImages();
  ASSERT_EQ(RunCli("convert afi-fs " + P("a.afi")).exit_code, 0);
  ASSERT_EQ(RunCli("convert bin-fs " + P("f.bin")).exit_code, 0);
  ASSERT_EQ(RunCli("convert merge-fs " + P("a.afi") + " " + P("f.bin")).exit_code, 0);
  for (const std::string script : {"a.afi.fs", "f.bin.fs", "f.bin.AFIcombined.fs"}) {
    const CliRun run = RunCli("fs check " + P(script));
    EXPECT_EQ(run.exit_code, 0) << script << "\n" << run.out << run.err;
    EXPECT_TRUE(run.out.starts_with(P(script) + ": ")) << run.out;
    EXPECT_TRUE(run.out.ends_with(": no problems\n")) << run.out;
  }
  EXPECT_EQ(RunCli("fs check " + P("f.bin.fs")).out,
            P("f.bin.fs") + ": " + std::to_string(16 + 2 * 2843) + " lines, 2846 writes, " +
                "2844 compares, 0 waits: no problems\n");
}

TEST_F(FsCli, CheckReportsEachProblemWithItsLineAndExitsByWhatItFound) {
  Write(P("bad.fs"), ";seeded\nX: -1\nW: 16 77 22 00 00\nQ: 1\n");
  const CliRun bad = RunCli("fs check " + P("bad.fs"));
  EXPECT_EQ(bad.exit_code, 1);
  const std::string pec = [] {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", Crc8({0x16, 0x77, 0x22, 0x00}));
    return std::string(text);
  }();
  EXPECT_EQ(bad.out, P("bad.fs") + ":2: wait -1 ms is negative\n" + P("bad.fs") +
                         ":3: the PEC is 00, but the bytes before it give " + pec + "\n" +
                         P("bad.fs") +
                         ":4: unknown line kind \"Q:\": a line is \"W:\", \"C:\", \"X:\" or a "
                         "\";\" comment\n");
  Write(P("empty.fs"), "");
  EXPECT_EQ(RunCli("fs check " + P("empty.fs")).out, P("empty.fs") + ": the file is empty\n");
  EXPECT_EQ(RunCli("fs check " + P("none.fs")).exit_code, 2);
  EXPECT_EQ(RunCli("fs check").exit_code, 2);

  // play refuses the same file before the pack sees anything.
  const CliRun play = RunCli(Pack("p.json") + "fs play " + P("bad.fs"));
  EXPECT_EQ(play.exit_code, 1);
  EXPECT_EQ(play.out, "");
  EXPECT_NE(play.err.find(P("bad.fs") + ":2: wait -1 ms is negative\n"), std::string::npos);
  EXPECT_NE(play.err.find("The script has 3 problem(s); nothing was played."), std::string::npos)
      << play.err;
}

TEST_F(FsCli, AnUpdateScriptLeavesThePackAsFwUpdateDoes) {
  MakeImages();
  ASSERT_EQ(RunCli("convert bin-fs " + P("f_new.bin")).exit_code, 0);
  const auto [by_update, by_script] =
      ProgramBothWays("fw update " + P("f_new.bin"), "f_new.bin.fs");
  ASSERT_FALSE(by_script.empty());
  EXPECT_NE(by_script, Read(P("source.json"))) << "the image changed the pack";
  // fw update reads the last record back through 0x4A; the script has no such read.
  EXPECT_EQ(StateWithout(by_script, {"flash_selector"}),
            StateWithout(by_update, {"flash_selector"}));
}

TEST_F(FsCli, AConstantsScriptLeavesThePackAsDfWriteDoes) {
  MakeConstants();
  ASSERT_EQ(RunCli("convert afi-fs " + P("b.afi")).exit_code, 0);
  const auto [by_write, by_script] = ProgramBothWays("df write " + P("b.afi"), "b.afi.fs");
  ASSERT_EQ(RunCli(Pack("by_script.json") + "df read-all -o " + P("back.afi")).exit_code, 0);
  EXPECT_NE(Read(P("back.afi")).find("\nCUV Threshold = 2700\n"), std::string::npos);
  // Two things differ by the nature of the two paths. df write asks the gauge whether it is
  // sealed through 0x44 first; the script does not. And bytes 129-151 of subclass 0x22 (code
  // flash 0xFA81-0xFA97) belong to no parameter: df write keeps what the pack holds there, the
  // script writes what the converter's image holds, since an .afi carries no value for them.
  const auto comparable = [](const std::string& state) {
    return MaskHexField(StateWithout(state, {"block_subcommand"}), "code_flash", 0xFA81, 0xFA98);
  };
  EXPECT_EQ(comparable(by_script), comparable(by_write));
}

TEST_F(FsCli, ACompareThatDiffersStopsThePlayAtItsLineWithTheBytes) {
  MakeConstants();
  ASSERT_EQ(RunCli("convert afi-fs " + P("a.afi")).exit_code, 0);
  std::vector<std::string> lines = Lines(Read(P("a.afi.fs")));
  const auto compare =
      std::ranges::find_if(lines, [](const std::string& line) { return line.starts_with("C:"); });
  ASSERT_NE(compare, lines.end());
  const int number = static_cast<int>(compare - lines.begin()) + 1;
  // The last data byte changed, the PEC made to fit it: the check passes, the pack disagrees.
  std::vector<std::uint8_t> bytes;
  std::istringstream words(compare->substr(3));
  for (std::string word; words >> word;) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  }
  const std::string expected_read = compare->substr(std::string("C: 16 78 ").size());
  bytes.pop_back();
  bytes.back() ^= 0x5A;
  const std::string changed = ScriptLine('C', bytes);
  *compare = changed;
  Write(P("changed.fs"), Joined(lines));
  ASSERT_EQ(RunCli("fs check " + P("changed.fs")).exit_code, 0);

  const CliRun played = RunCli(Pack("p.json") + "fs play " + P("changed.fs"));
  EXPECT_EQ(played.exit_code, 1);
  EXPECT_EQ(played.out, "");
  EXPECT_NE(
      played.err.find("Line " + std::to_string(number) + ": command 78 read " + expected_read +
                      ", expected " + changed.substr(9) + " (the data differ)\n"),
      std::string::npos)
      << played.err;
  EXPECT_NE(played.err.find("The pack is partly written: lines 1.." + std::to_string(number - 1) +
                            " are done, line " + std::to_string(number) + " and the rest are not."),
            std::string::npos)
      << played.err;
}

TEST_F(FsCli, AnUnplugMidPlayNamesTheLastLineDone) {
  MakeConstants();
  ASSERT_EQ(RunCli("convert afi-fs " + P("a.afi")).exit_code, 0);
  const CliRun played =
      RunCli(Pack("p.json", ":faults=drop-after=300") + "fs play " + P("a.afi.fs"));
  EXPECT_EQ(played.exit_code, 1);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(played.err, match,
                                std::regex("lines 1\\.\\.(\\d+) are done, line (\\d+) and")))
      << played.err;
  const int done = std::stoi(match[1]);
  EXPECT_GT(done, 10);
  EXPECT_EQ(std::stoi(match[2]), done + 1);
  EXPECT_NE(played.err.find("Line " + std::to_string(done + 1) + ": "), std::string::npos)
      << played.err;
}

TEST_F(FsCli, ADryRunPlaysOnASimulatedPackWhateverTheDevice) {
  Write(P("select.fs"), ScriptLine('W', {0x16, 0x77, 0x12, 0x00}) + "\nX: 2\n" +
                            ScriptLine('C', {0x16, 0x77, 0x12, 0x00}) + "\n");
  const CliRun fresh = RunCli("--device auto fs play --dry-run " + P("select.fs"));
  EXPECT_EQ(fresh.exit_code, 0) << fresh.err;
  EXPECT_EQ(fresh.err, "Dry run: playing on a fresh simulated pack, not on an adapter.\n");
  EXPECT_EQ(fresh.out, "FS script played: 3 lines, 1 writes, 1 compares matched.\n");

  const CliRun kept = RunCli("--sim-state " + P("p.json") + " fs play --dry-run " + P("select.fs"));
  EXPECT_EQ(kept.exit_code, 0) << kept.err;
  EXPECT_EQ(kept.err,
            "Dry run: playing on the simulated pack of " + P("p.json") + ", not on an adapter.\n");
  EXPECT_NE(Read(P("p.json")).find("\"selected_subclass\": 18"), std::string::npos);
}

}  // namespace
}  // namespace cw::test
