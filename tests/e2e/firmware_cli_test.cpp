// The firmware and production-file commands the way a production engineer runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

class FirmwareCli : public ScratchFolderTest {};

// Replaces "KEY = old" by "KEY = new" and fails the test when the key is missing.
std::string Edit(std::string afi, const std::string& key, const std::string& value) {
  const std::regex line("(^|\n)" + key + " = [^\n]*");
  EXPECT_TRUE(std::regex_search(afi, line)) << key;
  return std::regex_replace(afi, line, "$1" + key + " = " + value,
                            std::regex_constants::format_first_only);
}

std::string ValueOf(const std::string& afi, const std::string& key) {
  std::smatch match;
  if (!std::regex_search(afi, match, std::regex("(^|\n)" + key + " = ([^\n]*)"))) return "";
  return match[2];
}

TEST_F(FirmwareCli, ProductionRoundTripCarriesEditedConstantsIntoThePack) {
  const CliRun first_read = RunCli(Device() + "df read-all -o " + P("a.afi"));
  ASSERT_EQ(first_read.exit_code, 0) << first_read.err;
  const CliRun exported = RunCli(Device() + "fw export " + P("f.bin"));
  ASSERT_EQ(exported.exit_code, 0) << exported.err;
  EXPECT_EQ(exported.out, "Export Successfully!\n");
  ASSERT_EQ(fs::file_size(P("f.bin")), 90976u);

  std::string afi = Read(P("a.afi"));
  const std::vector<std::pair<std::string, std::string>> edits = {
      {"COV Time", ValueOf(afi, "COV Time") == "3" ? "4" : "3"},
      {"CUV Threshold", ValueOf(afi, "CUV Threshold") == "2600" ? "2700" : "2600"},
      {"OCPC Recovery", ValueOf(afi, "OCPC Recovery") == "450" ? "460" : "450"},
  };
  for (const auto& [key, value] : edits) afi = Edit(afi, key, value);
  Write(P("a.afi"), afi);

  const CliRun merged = RunCli("convert merge-bin " + P("a.afi") + " " + P("f.bin"));
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_EQ(merged.out, "Convert New Bin File Success!\n");
  ASSERT_EQ(fs::file_size(P("f_new.bin")), 90976u);

  const CliRun updated = RunCli(Device() + "fw update " + P("f_new.bin"));
  ASSERT_EQ(updated.exit_code, 0) << updated.err;
  EXPECT_EQ(updated.out, "Update Successfully!\n");

  const CliRun read = RunCli(Device() + "df read-all -o " + P("b.afi"));
  ASSERT_EQ(read.exit_code, 0) << read.err;
  const std::string read_back = Read(P("b.afi"));
  for (const auto& [key, value] : edits) EXPECT_EQ(ValueOf(read_back, key), value) << key;
  ASSERT_FALSE(ValueOf(afi, "AlgorithmData158").empty());
  for (int key = 0; key < 159; ++key) {
    const std::string name = "AlgorithmData" + std::to_string(key);
    EXPECT_EQ(ValueOf(read_back, name), ValueOf(afi, name)) << name;
  }

  const CliRun exported_again = RunCli(Device() + "fw export " + P("g.bin"));
  ASSERT_EQ(exported_again.exit_code, 0) << exported_again.err;
  ASSERT_EQ(RunCli("image extract " + P("g.bin") + " --data " + P("g.data")).exit_code, 0);
  ASSERT_EQ(RunCli("image extract " + P("f_new.bin") + " --data " + P("f_new.data")).exit_code, 0);
  EXPECT_EQ(Read(P("g.data")).size(), 1024u);
  EXPECT_EQ(Read(P("g.data")), Read(P("f_new.data"))) << "the pack holds the merged data area";
}

// A pack an update left in its boot loader answers nothing but the loader's status: the error
// names that, and the one command that recovers it.
TEST_F(FirmwareCli, AGaugeLeftInItsBootLoaderIsNamedWithWhatRecoversIt) {
  ASSERT_EQ(RunCli(Device() + "read-word 09").exit_code, 0);
  auto state = nlohmann::json::parse(Read(P("pack.json")));
  state["boot_loader"]["mode"] = "update";
  state["boot_loader"]["status"] = 0x0180;
  Write(P("pack.json"), state.dump());
  const CliRun text = RunCli(Device() + "read-word 09");
  EXPECT_EQ(text.exit_code, 1);
  EXPECT_NE(text.err.find("The gauge waits in its boot loader"), std::string::npos) << text.err;
  const CliRun json = RunCli(Device() + "read-word 09 --json");
  EXPECT_EQ(json.exit_code, 1);
  EXPECT_EQ(nlohmann::json::parse(json.out, nullptr, false)["error"]["kind"], "boot_loader")
      << json.out;
}

TEST_F(FirmwareCli, ImageBuildAndExtractRoundTrip) {
  std::string code(65536, '\0'), data(1024, '\0');
  for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<char>(i * 7 + 3);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 + 1);
  code[0xF7CE] = code[0xF7CF] = 0;
  std::fill(code.begin() + 0xFC00, code.end(), '\0');
  Write(P("code.raw"), code);
  Write(P("data.raw"), data);
  ASSERT_EQ(RunCli("image build --code " + P("code.raw") + " --data " + P("data.raw") + " -o " +
                   P("x.bin"))
                .exit_code,
            0);
  EXPECT_EQ(fs::file_size(P("x.bin")), 90976u);
  ASSERT_EQ(
      RunCli("image extract " + P("x.bin") + " --code " + P("c2") + " --data " + P("d2")).exit_code,
      0);
  EXPECT_EQ(Read(P("c2")), code);
  EXPECT_EQ(Read(P("d2")), data);

  ASSERT_EQ(RunCli("image build -o " + P("zero.bin")).exit_code, 0);
  EXPECT_EQ(fs::file_size(P("zero.bin")), 90976u);
}

TEST_F(FirmwareCli, ImageCommandsTakeTheRecordMaskFromTheConstantsFile) {
  fs::create_directories(dir_ / "config" / "cellwarden");
  Write((dir_ / "config" / "cellwarden" / "cellwarden.ini").string(),
        "[Constants]\nRecordMask = 33\n");
  const std::string overridden = "XDG_CONFIG_HOME=" + P("config");
  std::string code(65536, '\0');
  for (std::size_t i = 0; i < 0xF7CE; ++i) code[i] = static_cast<char>(i * 5 + 1);
  Write(P("code.raw"), code);
  const std::string build = "image build --code " + P("code.raw") + " -o ";
  ASSERT_EQ(RunCli(build + P("default.bin")).exit_code, 0);
  ASSERT_EQ(RunCli(build + P("masked.bin"), overridden).exit_code, 0);
  EXPECT_NE(Read(P("default.bin")), Read(P("masked.bin"))) << "the records are scrambled anew";

  // Only the same mask takes the image apart again; under another its records make no sense.
  ASSERT_EQ(RunCli("image extract " + P("masked.bin") + " --code " + P("c1"), overridden).exit_code,
            0);
  EXPECT_EQ(Read(P("c1")), code);
  const CliRun other_mask = RunCli("image extract " + P("masked.bin") + " --code " + P("c2"));
  EXPECT_EQ(other_mask.exit_code, 1);
  EXPECT_TRUE(
      other_mask.err.starts_with("The bin file is error, please reload it!\nRecord 0 of "
                                 "the image is damaged: it carries sequence number"))
      << other_mask.err;
  EXPECT_FALSE(fs::exists(P("c2")));

  // The converters merge with the same constants: the new image reads back under the mask.
  ASSERT_EQ(RunCli(Device() + "df read-all -o " + P("pack.afi")).exit_code, 0);
  ASSERT_EQ(
      RunCli("convert merge-bin " + P("pack.afi") + " " + P("masked.bin"), overridden).exit_code,
      0);
  ASSERT_EQ(
      RunCli("image extract " + P("masked_new.bin") + " --code " + P("c3"), overridden).exit_code,
      0);
  EXPECT_EQ(Read(P("c3")).substr(0, 0xF7CE), code.substr(0, 0xF7CE));
}

TEST_F(FirmwareCli, BadInputsAreRefusedWithTheirMessages) {
  Write(P("short.raw"), std::string(65535, '\0'));
  Write(P("small.bin"), std::string(65535, '\0'));
  Write(P("odd.bin"), std::string(65540, '\0'));
  Write(P("zeros.bin"), std::string(90976, '\0'));
  struct Case {
    std::string args;
    std::string err;
  };
  const Case cases[] = {
      {"image build --code " + P("short.raw") + " -o " + P("o.bin"),
       "The code image must be 65536 bytes: " + P("short.raw") + "\n"},
      {Device() + "fw update " + P("small.bin"), "The bin file is error, please reload it!\n"},
      {Device() + "fw update " + P("odd.bin"), "The bin file is error, please reload it!\n"},
      {"convert bin-fs " + P("small.bin"), "The bin file is error, please reload it!\n"},
      {"convert bin-fs " + P("odd.bin"), "Bin File is Error, Please reload it!\n"},
      {"convert merge-bin " + P("none.afi") + " " + P("odd.bin"),
       "Bin File is Error, Please reload it!\n"},
      {"convert afi-fs " + P("none.afi"),
       "Can not read the file " + P("none.afi") + ": it does not exist.\n"},
      {Device() + "fw update " + P("zeros.bin"),
       "The bin file is error, please reload it!\nRecord 0 of the image is damaged: it carries "
       "sequence number 46260.\n"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exit_code, 1) << c.args;
    EXPECT_EQ(run.err, c.err) << c.args;
    EXPECT_EQ(run.out, "") << c.args;
  }
  EXPECT_FALSE(fs::exists(P("o.bin")));
  EXPECT_FALSE(fs::exists(P("odd.bin.fs")));
}

TEST_F(FirmwareCli, ExportOfASealedPackWritesNoFile) {
  ASSERT_EQ(RunCli(Device() + "df read-all -o " + P("a.afi")).exit_code, 0);
  std::string state = Read(P("pack.json"));
  const std::regex unsealed("\"seal_state\"\\s*:\\s*\"unsealed\"");
  ASSERT_TRUE(std::regex_search(state, unsealed));
  Write(P("pack.json"), std::regex_replace(state, unsealed, "\"seal_state\": \"sealed\""));
  const CliRun run = RunCli(Device() + "fw export " + P("s.bin"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Can not export firmware when KT580714 is in seal mode!\n");
  EXPECT_FALSE(fs::exists(P("s.bin")));
}

TEST_F(FirmwareCli, ScriptsAreWrittenBesideTheirInputs) {
  ASSERT_EQ(RunCli(Device() + "df read-all -o " + P("a.afi")).exit_code, 0);
  ASSERT_EQ(RunCli(Device() + "fw export " + P("f.bin")).exit_code, 0);
  struct Case {
    std::string args, out, file;
  };
  const Case cases[] = {
      {"convert afi-fs " + P("a.afi"), "Convert AFI File into FS File Success!\n", P("a.afi.fs")},
      {"convert bin-fs " + P("f.bin"), "Convert Bin File into FS File Success!\n", P("f.bin.fs")},
      {"convert merge-fs " + P("a.afi") + " " + P("f.bin"),
       "Convert AFI File and Bin File into FS File Success!\n", P("f.bin.AFIcombined.fs")},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_TRUE(fs::exists(c.file)) << c.file;
  }
  const std::string script = Read(P("f.bin.fs"));
  EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 12 + 2 * 2843 + 4);
}

TEST_F(FirmwareCli, AnOutputThatCannotBeCreatedIsReported) {
  ASSERT_EQ(RunCli(Device() + "fw export " + P("f.bin")).exit_code, 0);
  fs::create_directories(P("f.bin.fs"));  // a folder where the script should go
  const CliRun run = RunCli("convert bin-fs " + P("f.bin"));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Can not write the file " + P("f.bin.fs") +
                         ": it is a folder. Nothing was "
                         "written.\n");
  EXPECT_EQ(run.out, "");
}

// A folder or a pipe where a file is expected is said to be one: never an abort, never a wait
// for a writer, never a pipe replaced by a file.
TEST_F(FirmwareCli, PathsThatAreNoFileAreRefused) {
  ASSERT_EQ(RunCli(Device() + "fw export " + P("f.bin")).exit_code, 0);
  ASSERT_EQ(RunCli(Device() + "df read-all -o " + P("a.afi")).exit_code, 0);
  fs::create_directories(P("dir_.bin"));
  fs::create_directories(P("dir_.afi"));
  ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(P("pipe.afi").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(P("f.bin.fs").c_str(), 0600), 0);
  const std::string folder = ": it is a folder.";
  const std::string pipe = ": it is a device, pipe or socket, not a regular file.";
  struct Case {
    std::string args;
    std::string err_part;
  };
  const Case cases[] = {
      {Device() + "fw update " + P("dir_.bin"), P("dir_.bin") + folder},
      {Device() + "fw update " + P("pipe"), P("pipe") + pipe},
      {Device() + "df write " + P("dir_.afi"), P("dir_.afi") + folder},
      {Device() + "df write " + P("pipe.afi"), P("pipe.afi") + pipe},
      {"convert bin-fs " + P("dir_.bin"), P("dir_.bin") + folder},
      {"convert afi-fs " + P("dir_.afi"), P("dir_.afi") + folder},
      {"convert merge-bin " + P("pipe.afi") + " " + P("f.bin"), P("pipe.afi") + pipe},
      {"image extract " + P("pipe"), P("pipe") + pipe},
      {"image build --code " + P("dir_.bin") + " -o " + P("x.bin"), P("dir_.bin") + folder},
      {Device() + "df read-all -o " + P("pipe.afi"), P("pipe.afi") + pipe + " Nothing"},
      {Device() + "fw export " + P("pipe"), P("pipe") + pipe + " Nothing"},
      {Device() + "fw export " + P("dir_.bin"), P("dir_.bin") + folder + " Nothing"},
      {"image build -o " + P("pipe"), P("pipe") + pipe + " Nothing"},
      {"convert bin-fs " + P("f.bin"), P("f.bin.fs") + pipe + " Nothing"},
  };
  const std::string state = Read(P("pack.json"));
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exit_code, 1) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << c.args << "\n" << run.err;
  }
  for (const char* name : {"pipe", "pipe.afi", "f.bin.fs"}) {
    EXPECT_TRUE(fs::is_fifo(P(name))) << name;
  }
  EXPECT_FALSE(fs::exists(P("x.bin")));
  EXPECT_EQ(Read(P("pack.json")), state) << "no command changed the pack";
}

}  // namespace
}  // namespace cw::test
