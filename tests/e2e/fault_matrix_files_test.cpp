// The data-flash, firmware and conversion commands against every fault the simulated pack can
// inject, on both adapters. For every cell: exit 0 only with the effect verified, no output file
// partial or created on failure, nothing stray left beside it, and the pack changed only as asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// What a pack's state file says about its memories and the states a command may change.
struct Pack {
  std::string data_flash, code_flash, seal, boot_mode, keys;
};
// The text of a string field: what lies between the quotes after "name":. (std::regex would
// recurse once per character of a 128 KiB flash dump.)
std::string Field(const std::string& json, const std::string& name) {
  const std::size_t key = json.find("\"" + name + "\"");
  if (key == std::string::npos) return "";
  const std::size_t open = json.find('"', json.find(':', key));
  const std::size_t close = json.find('"', open + 1);
  if (open == std::string::npos || close == std::string::npos) return "";
  return json.substr(open + 1, close - open - 1);
}
Pack ReadPack(const fs::path& state) {
  const std::string json = Read(state);
  return {Field(json, "data_flash"), Field(json, "code_flash"), Field(json, "seal_state"),
          Field(json, "mode"),
          Field(json, "unseal_key") + Field(json, "full_access_key") + Field(json, "auth_key")};
}
// Whether every byte (two hex digits) of `now` is the one of `before` or of `target`: a write
// that stopped halfway has written some of what was asked and nothing else.
bool OnlyAsAsked(const std::string& before, const std::string& target, const std::string& now) {
  if (now.size() != before.size() || now.size() != target.size()) return false;
  for (std::size_t i = 0; i < now.size(); i += 2) {
    const auto byte = now.substr(i, 2);
    if (byte != before.substr(i, 2) && byte != target.substr(i, 2)) return false;
  }
  return true;
}

std::string EditKey(const std::string& afi, const std::string& key, const std::string& value) {
  return std::regex_replace(afi, std::regex("(^|\n)" + key + " = [^\n]*"),
                            "$1" + key + " = " + value, std::regex_constants::format_first_only);
}

enum class Effect {
  kReadsIntoFile,  // the pack is read into `output`; nothing in the pack changes
  kChangesPack,    // the pack's memories change to what a clean run leaves
};

struct Operation {
  std::string name;
  std::string args;    // "{dir}" stands for the cell's folder
  std::string output;  // the file a reading command writes, in the cell's folder
  Effect effect;
  std::set<std::string> must_fail_under;  // faults the command cannot get through
};

void PrintTo(const Operation& op, std::ostream* out) { *out << op.name; }

const Operation kOperations[] = {
    {"df_read_all", "df read-all -o {dir}/out.afi", "out.afi", Effect::kReadsIntoFile, {}},
    {"df_write", "df write {dir}/edit.afi", "", Effect::kChangesPack, {}},
    {"df_set", "df set 'COV Time' 7", "", Effect::kChangesPack, {}},
    {"fw_update", "fw update {dir}/new.bin", "", Effect::kChangesPack, {"stuck-boot"}},
    {"fw_export", "fw export {dir}/out.bin", "out.bin", Effect::kReadsIntoFile, {}},
};

// The suite's inputs, made once from a pristine pack: its state, an .afi of it with one value
// changed, and an image of its firmware carrying that .afi.
class FaultMatrix : public ::testing::TestWithParam<std::tuple<Operation, std::string>> {
 protected:
  static void SetUpTestSuite() {
    root_ = fs::temp_directory_path() / ("cw_fault_matrix_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    const std::string device = "--device sim:clock=virtual:state=" + P("pristine.json") + " ";
    ASSERT_EQ(RunCli(device + "df read-all -o " + P("pack.afi")).exit_code, 0);
    ASSERT_EQ(RunCli(device + "fw export " + P("pack.bin")).exit_code, 0);
    const std::string afi = Read(P("pack.afi"));
    ASSERT_NE(afi.find("\nCOV Time = 2\n"), std::string::npos);
    Write(P("edit.afi"), EditKey(afi, "COV Time", "7"));
    ASSERT_EQ(RunCli("convert merge-bin " + P("edit.afi") + " " + P("pack.bin")).exit_code, 0);
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }
  static std::string P(const std::string& name) { return (root_ / name).string(); }

  // A folder with a pristine pack and the inputs.
  static fs::path NewCell(const std::string& name) {
    const fs::path cell = root_ / name;
    fs::remove_all(cell);
    fs::create_directories(cell);
    fs::copy_file(P("pristine.json"), cell / "pack.json");
    fs::copy_file(P("edit.afi"), cell / "edit.afi");
    fs::copy_file(P("pack_new.bin"), cell / "new.bin");
    return cell;
  }
  static CliRun Run(const Operation& op, const fs::path& cell, const std::string& transport,
                    const std::string& faults, const std::string& extra = "") {
    std::string device = "--device sim:clock=virtual:transport=" + transport +
                         ":state=" + (cell / "pack.json").string();
    if (!faults.empty()) device += ":faults=" + faults;
    const std::string args = std::regex_replace(op.args, std::regex("\\{dir\\}"), cell.string());
    return RunCli(device + " " + extra + args);
  }

  static inline fs::path root_;
};

TEST_P(FaultMatrix, EveryCellTellsTheTruth) {
  const auto& [op, transport] = GetParam();
  // A clean run gives what the command is asked to do, and its length in USB exchanges for
  // unplugging the adapter early, in the middle and late.
  const fs::path clean = NewCell(op.name + "_clean");
  const CliRun traced = Run(op, clean, transport, "", "--trace ");
  ASSERT_EQ(traced.exit_code, 0) << traced.err.substr(traced.err.size() - 2000);
  const Pack pristine = ReadPack(P("pristine.json"));
  const Pack target = ReadPack(clean / "pack.json");
  const std::string clean_output = op.output.empty() ? "" : Read(clean / op.output);
  std::size_t exchanges = 0;
  for (std::size_t at = traced.err.find("[usb] "); at != std::string::npos;
       at = traced.err.find("[usb] ", at + 1)) {
    ++exchanges;
  }
  ASSERT_GT(exchanges, 40u);
  if (op.effect == Effect::kChangesPack) {
    ASSERT_NE(target.data_flash, pristine.data_flash);
  }

  const std::vector<std::string> faults = {
      "nack-every=7",
      "nack-probability=0.02,seed=3",
      "corrupt-pec-every=5",
      "drop-after=10",
      "drop-after=" + std::to_string(exchanges / 2),
      "drop-after=" + std::to_string(exchanges - 20),
      "short-replies",
      "oversized-replies",
      "stuck-boot",
  };
  const std::set<std::string> inputs = Names(NewCell("names"));
  for (const std::string& fault : faults) {
    const std::string where = op.name + " " + transport + " " + fault;
    const fs::path cell = NewCell(op.name + "_cell");
    const CliRun run = Run(op, cell, transport, fault);
    ASSERT_TRUE(run.exit_code == 0 || run.exit_code == 1) << where << "\n" << run.err;
    const bool must_fail = fault == "drop-after=10" || op.must_fail_under.contains(fault);
    if (must_fail) {
      EXPECT_EQ(run.exit_code, 1) << where << "\n" << run.err;
    }
    const Pack now = ReadPack(cell / "pack.json");
    EXPECT_EQ(now.seal, pristine.seal) << where;
    EXPECT_EQ(now.keys, pristine.keys) << where;
    std::set<std::string> expected_names = inputs;
    if (run.exit_code == 0) {
      if (!op.output.empty()) {
        expected_names.insert(op.output);
        EXPECT_EQ(Read(cell / op.output), clean_output) << where << ": the file is the pack's";
      }
      EXPECT_EQ(now.data_flash, target.data_flash) << where;
      EXPECT_EQ(now.code_flash, target.code_flash) << where;
      EXPECT_EQ(now.boot_mode, "normal") << where;
    } else {
      EXPECT_FALSE(run.err.empty()) << where;
      EXPECT_TRUE(OnlyAsAsked(pristine.data_flash, target.data_flash, now.data_flash)) << where;
      EXPECT_TRUE(OnlyAsAsked(pristine.code_flash, target.code_flash, now.code_flash)) << where;
      if (op.name != "fw_update") {
        EXPECT_EQ(now.boot_mode, "normal") << where;
      }
    }
    EXPECT_EQ(Names(cell), expected_names) << where << ": no partial or stray file";
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kOperations),
                                            ::testing::Values("hid", "bulk")),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" + std::get<1>(info.param);
                         });

// A folder with a pack's image and .afi, read from the simulated pack.
struct PackFiles {
  PackFiles() {
    fs::remove_all(dir);
    fs::create_directories(dir);
    EXPECT_EQ(RunCli(kDevice + "fw export " + P("pack.bin")).exit_code, 0);
    EXPECT_EQ(RunCli(kDevice + "df read-all -o " + P("pack.afi")).exit_code, 0);
  }
  ~PackFiles() { fs::remove_all(dir); }
  std::string P(const std::string& name) const { return (dir / name).string(); }

  inline static const std::string kDevice = "--device sim:clock=virtual ";
  const fs::path dir =
      fs::temp_directory_path() / ("cw_pack_files_" + std::to_string(::getpid()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// A disk that fills up while a file is written: the commands say so, and neither a partial file
// nor a temporary one is left. The limit (4 KiB) holds for the command's whole process.
TEST(FaultMatrixFiles, AFullDiskLeavesNoFile) {
  const PackFiles files;
  const auto p = [&](const std::string& name) { return files.P(name); };
  const std::string& device = PackFiles::kDevice;
  Write(p("old.afi"), "old");
  // RunCli puts the environment before the command: a shell there limits the file size and
  // ignores the signal, so that a write past the limit fails as on a full disk.
  const std::string full_disk =
      "CW_FULL_DISK=1 sh -c 'trap \"\" XFSZ; ulimit -f 8; exec \"$0\" \"$@\"'";
  struct Case {
    std::string args;
    std::string err_part;
  };
  const Case cases[] = {
      {device + "df read-all -o " + p("new.afi"), "Save data file error!\nCan not write the file " +
                                                      p("new.afi") +
                                                      ": File too large. No file was created."},
      {device + "df read-all -o " + p("old.afi"),
       "Save data file error!\nCan not write the file " + p("old.afi") +
           ": File too large. The existing file was left unchanged."},
      {device + "fw export " + p("new.bin"),
       "Export Fail!\nCan not write the file " + p("new.bin") + ": File too large."},
      {"convert bin-fs " + p("pack.bin"),
       "Can not write the file " + p("pack.bin.fs") + ": File too large."},
      {"convert merge-bin " + p("pack.afi") + " " + p("pack.bin"),
       "Open file error!\nCan not write the file " + p("pack_new.bin") + ": File too large."},
      {"convert afi-fs " + p("pack.afi"),
       "Can not write the file " + p("pack.afi.fs") + ": File too large."},
  };
  const std::set<std::string> names = Names(files.dir);
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args, full_disk);
    EXPECT_EQ(run.exit_code, 1) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out, "") << c.args;
    EXPECT_EQ(Names(files.dir), names) << c.args;
  }
  EXPECT_EQ(Read(p("old.afi")), "old");
}

// The converters never talk to the gauge: their faults are damaged inputs. Each cell either
// writes its whole output or nothing.
TEST(FaultMatrixFiles, ConvertWritesWholeOutputsFromSoundInputsOnly) {
  const PackFiles files;
  const fs::path& dir = files.dir;
  const auto p = [&](const std::string& name) { return files.P(name); };
  fs::rename(p("pack.bin"), p("good.bin"));
  fs::rename(p("pack.afi"), p("good.afi"));
  std::string damaged = Read(p("good.bin"));
  damaged[100 * 32 + 31] ^= 0x01;
  Write(p("damaged.bin"), damaged);
  Write(p("garbage.bin"), std::string(90976, '\x5A'));
  const std::string afi = Read(p("good.afi"));
  Write(p("cut.afi"), afi.substr(0, afi.size() / 2));
  Write(p("empty.afi"), "");
  Write(p("nul.afi"), std::string("[FlashData]\nCOV Time = 2\n\0", 26));

  struct Case {
    std::string args;
    std::string output;  // written when it succeeds
    bool succeeds;
  };
  std::vector<Case> cases;
  for (const std::string bin : {"good", "damaged", "garbage"}) {
    cases.push_back({"convert bin-fs " + p(bin + ".bin"), bin + ".bin.fs", bin == "good"});
  }
  for (const std::string afi_name : {"good", "cut", "empty", "nul"}) {
    cases.push_back(
        {"convert afi-fs " + p(afi_name + ".afi"), afi_name + ".afi.fs", afi_name == "good"});
    for (const std::string bin : {"good", "damaged"}) {
      const bool ok = afi_name == "good" && bin == "good";
      cases.push_back({"convert merge-fs " + p(afi_name + ".afi") + " " + p(bin + ".bin"),
                       bin + ".bin.AFIcombined.fs", ok});
      cases.push_back({"convert merge-bin " + p(afi_name + ".afi") + " " + p(bin + ".bin"),
                       bin + "_new.bin", ok});
    }
  }
  const std::set<std::string> inputs = Names(dir);
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exit_code, c.succeeds ? 0 : 1) << c.args << "\n" << run.err;
    std::set<std::string> expected = inputs;
    if (c.succeeds) {
      expected.insert(c.output);
      EXPECT_TRUE(run.out.ends_with("Success!\n")) << c.args;
    } else {
      EXPECT_EQ(run.out, "") << c.args;
      EXPECT_FALSE(run.err.empty()) << c.args;
    }
    EXPECT_EQ(Names(dir), expected) << c.args;
    if (c.succeeds) fs::remove(dir / c.output);
  }
}

}  // namespace
}  // namespace cw::test
