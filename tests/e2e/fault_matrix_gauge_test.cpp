// The gauge operations of the command line under every fault the simulated pack can inject, on
// the virtual clock. In every cell: exit 0 only when the effect is verified in the pack's state
// file or the output, exit 1 (never a crash or a usage error) with a message otherwise, and the
// pack changed only in what the operation was asked to change.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

using Json = nlohmann::json;

// Fields of the state file that every exchange may move (the last subcommand, the selected
// subclass, the next digest): bus bookkeeping, not what a user changes.
const std::set<std::string> kBookkeeping = {"block_subcommand", "auth_response",
                                            "manufacturer_access_reply", "selected_subclass",
                                            "flash_selector"};

constexpr const char* kFactoryKey = "5A3C96E1B04F7D2288E1C35A9F06B47D";
constexpr const char* kNewKey = "00112233445566778899AABBCCDDEEFF";
constexpr const char* kChallenge = "0102030405060708090A0B0C0D0E0F1011121314";
// Manufacturer Info (subclass 0x3A) starts at this byte of the data flash the state file keeps.
constexpr std::size_t kManufacturerInfoAt = 0x385;

struct Cell {
  const CliRun& run;
  const Json& before;
  const Json& after;
  const std::filesystem::path& output;
};

struct Operation {
  std::string name;
  std::string arguments;  // FILE stands for an output file of the cell
  std::string setup;      // run first, without faults
  std::set<std::string> may_change;
  // The effect, checked whenever the operation says it succeeded.
  std::function<bool(const Cell&)> verified;
  // Whether it succeeds on a pack without faults (a wrong key never does).
  bool succeeds = true;
};

// Where the adapter is unplugged, relative to the exchanges the operation makes without faults.
enum class Unplug { kNever, kAtTheStart, kHalfWay, kBeforeTheLast };

// Named in the test list and in failures.
void PrintTo(const Operation& operation, std::ostream* out) { *out << operation.name; }

struct Fault {
  std::string name;
  std::string device;  // device-string keys after "sim:clock=virtual"
  Unplug unplug = Unplug::kNever;
};

const std::vector<Fault>& Faults() {
  static const std::vector<Fault> faults = {
      {"no fault", ""},
      {"NACK every third", ":faults=nack-every=3"},
      {"random NACKs", ":faults=nack-probability=0.2,seed=7"},
      {"PEC corrupted", ":faults=corrupt-pec-every=2"},
      {"unplugged at the start", "", Unplug::kAtTheStart},
      {"unplugged half way", "", Unplug::kHalfWay},
      {"unplugged before the last exchange", "", Unplug::kBeforeTheLast},
      {"short replies", ":faults=short-replies"},
      {"oversized replies", ":faults=oversized-replies"},
      {"bulk adapter, short replies", ":transport=bulk:faults=short-replies"},
      {"bulk adapter, oversized replies", ":transport=bulk:faults=oversized-replies"},
  };
  return faults;
}

std::string DeviceFor(const Fault& fault, int exchanges) {
  switch (fault.unplug) {
    case Unplug::kNever:
      return fault.device;
    case Unplug::kAtTheStart:
      return ":faults=drop-after=1";
    case Unplug::kHalfWay:
      return ":faults=drop-after=" + std::to_string(std::max(1, exchanges / 2));
    case Unplug::kBeforeTheLast:
      return ":faults=drop-after=" + std::to_string(std::max(1, exchanges - 1));
  }
  return fault.device;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::set<std::string> ChangedFields(const Json& before, const Json& after) {
  std::set<std::string> changed;
  for (const auto& [key, value] : after.items()) {
    if (!before.contains(key) || before.at(key) != value) changed.insert(key);
  }
  return changed;
}

// A one-pass scan printed every row with a value.
bool EveryRowRead(const Cell& cell) {
  std::istringstream lines(cell.run.out);
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    const auto first = line.find('\t');
    const auto second = line.find('\t', first + 1);
    if (first == std::string::npos || second == first + 1) return false;
    ++rows;
  }
  return rows == 114;
}

// Two data lines, each value in them read: none is the marker of a value that was not.
bool TwoLoggedLines(const Cell& cell) {
  const std::vector<std::string> lines = LogLines(FileText(cell.output));
  if (lines.size() != 13 + 2) return false;
  for (std::size_t i = 13; i < lines.size(); ++i) {
    if (lines[i].size() < 45 + 11 || lines[i].find("NaN") != std::string::npos) return false;
  }
  return true;
}

// Two data lines as above, whose debug block is the simulated gauge's text: a block of zeros
// is what a failed read used to leave.
bool TwoLoggedDebugBlocks(const Cell& cell) {
  if (!TwoLoggedLines(cell)) return false;
  const std::vector<std::string> lines = LogLines(FileText(cell.output));
  std::string zeros;
  for (int i = 0; i < 32; ++i) zeros += " 00";
  return std::none_of(lines.begin() + 13, lines.end(),
                      [&](const std::string& line) { return line.ends_with(zeros); });
}

std::vector<Operation> Operations() {
  const auto seal_is = [](const char* state) {
    return [state](const Cell& cell) { return cell.after.at("seal_state") == state; };
  };
  return {
      {"scan", "scan --once", "", {}, EveryRowRead},
      {"log", "log FILE --samples 2 --interval 1 --rows Voltage,Current", "", {}, TwoLoggedLines},
      {"log, block rows",
       "log FILE --samples 2 --interval 1 --rows \"Cell Voltage 1,Gauge Debug Info\"",
       "",
       {},
       TwoLoggedDebugBlocks},
      {"calibrate",
       "calibrate --cells 3900,3901,3902,3903 --current -2000",
       "",
       {"calibrations", "calibration_references", "calibration_offsets"},
       [](const Cell& cell) {
         const Json& references = cell.after.at("calibration_references");
         const Json& last = cell.after.at("calibrations").back();
         return references.at("cells_mv") == Json::array({3900, 3901, 3902, 3903}) &&
                references.at("current_ma") == -2000 && last.at("command") == 0x40 &&
                last.at("data") == "5000";
       }},
      {"calibrate offset",
       "calibrate offset",
       "",
       {"calibrations", "calibration_offsets"},
       [](const Cell& cell) {
         const Json& last = cell.after.at("calibrations").back();
         return last.at("command") == 0x40 && last.at("data") == "2000";
       }},
      {"auth check",
       std::string("auth check ") + kFactoryKey + " " + kChallenge,
       "",
       {},
       [](const Cell& cell) {
         return cell.run.err ==
                "Authentication successed. KT580714 returned value that matches the digest!\n";
       }},
      {"auth change-key",
       std::string("auth change-key ") + kNewKey,
       "",
       {"auth_key"},
       [](const Cell& cell) { return cell.after.at("auth_key") == kNewKey; }},
      {"seal", "seal", "", {"seal_state"}, seal_is("sealed")},
      {"unseal", "unseal", "seal", {"seal_state"}, seal_is("unsealed")},
      {"unseal to full access", "unseal --full-access", "", {"seal_state"}, seal_is("full-access")},
      {"unseal with a wrong key", "unseal --key 12345678", "seal", {}, seal_is("unsealed"), false},
      {"smb read-word",
       "smb read-word 09",
       "",
       {},
       [](const Cell& cell) { return cell.run.out == "3B60\n"; }},
      {"smb write-word",
       "smb write-word 01 0190",
       "",
       {"sbs"},
       [](const Cell& cell) { return cell.after.at("sbs").at("remaining_capacity_alarm") == 400; }},
      {"smb read-block, variable length",
       "smb read-block 21",
       "",
       {},
       [](const Cell& cell) { return cell.run.out == "4B 54 35 38 30 37 31 34 \n"; }},
      {"smb read-block, fixed length",
       "smb read-block 54",
       "",
       {},
       [](const Cell& cell) {
         return std::regex_match(cell.run.out, std::regex("[0-9A-F]{2} [0-9A-F]{2} \n"));
       }},
      {"smb write-block",
       "smb write-block 70 '41 42 43'",
       "",
       {"data_flash"},
       [](const Cell& cell) {
         return cell.after.at("data_flash").get<std::string>().substr(2 * kManufacturerInfoAt, 8) ==
                "03414243";
       }},
  };
}

class GaugeFaultMatrix : public ::testing::TestWithParam<Operation> {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("cw-fault-matrix-" + std::to_string(::getpid()) + "-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_P(GaugeFaultMatrix, ExitZeroOnlyWhenVerifiedAndThePackChangesOnlyAsAsked) {
  const Operation& operation = GetParam();
  int cell_number = 0;
  // Prepares a pack in its own state file and returns the device option for it.
  const auto prepare = [&](const std::filesystem::path& state) {
    const std::string pack = "--device sim:clock=virtual:state=" + state.string();
    const CliRun setup =
        RunCli(pack + " " + (operation.setup.empty() ? "read-word 09" : operation.setup));
    EXPECT_EQ(setup.exit_code, 0) << setup.err;
    return pack;
  };
  const auto with_output = [&](const std::filesystem::path& output) {
    std::string arguments = operation.arguments;
    if (const auto at = arguments.find("FILE"); at != std::string::npos) {
      arguments.replace(at, 4, output.string());
    }
    return arguments;
  };
  const int exchanges = Exchanges(
      RunCli(prepare(folder_ / "probe.json") + " --trace " + with_output(folder_ / "probe.LOG")));
  ASSERT_GT(exchanges, 1);
  for (const Fault& fault : Faults()) {
    SCOPED_TRACE(operation.name + " / " + fault.name);
    const auto state = folder_ / ("pack-" + std::to_string(++cell_number) + ".json");
    const auto output = folder_ / ("out-" + std::to_string(cell_number) + ".LOG");
    const std::string pack = prepare(state);
    const Json before = Json::parse(FileText(state));
    const CliRun run = RunCli(pack + DeviceFor(fault, exchanges) + " " + with_output(output));
    const Json after = Json::parse(FileText(state));

    ASSERT_TRUE(run.exit_code == 0 || run.exit_code == 1) << run.exit_code << "\n" << run.err;
    if (fault.device.empty() && fault.unplug == Unplug::kNever) {
      EXPECT_EQ(run.exit_code, operation.succeeds ? 0 : 1) << run.err;
    }
    if (fault.unplug == Unplug::kAtTheStart) {
      EXPECT_EQ(run.exit_code, 1) << run.out;
    }
    if (run.exit_code == 0) {
      EXPECT_TRUE(operation.verified({run, before, after, output}))
          << "exit 0 without the effect\nout: " << run.out << "\nerr: " << run.err;
    } else {
      EXPECT_FALSE(run.err.empty() && run.out.empty()) << "a failure says where things stand";
    }
    for (const std::string& field : ChangedFields(before, after)) {
      EXPECT_TRUE(operation.may_change.contains(field) || kBookkeeping.contains(field))
          << "changed without being asked: " << field;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, GaugeFaultMatrix, ::testing::ValuesIn(Operations()),
                         [](const ::testing::TestParamInfo<Operation>& info) {
                           std::string name;
                           for (char c : info.param.name) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

// The rows of a one-pass scan that show a value.
std::set<std::string> RowsShown(const std::string& out) {
  std::istringstream lines(out);
  std::set<std::string> shown;
  for (std::string line; std::getline(lines, line);) {
    const auto first = line.find('\t');
    if (first != std::string::npos && line.find('\t', first + 1) != first + 1) {
      shown.insert(line.substr(0, first));
    }
  }
  return shown;
}

// Every reply that carries the gauge's PEC comes with a spoiled one. Such a reply is never shown
// as a reading; a reply that the adapter reads without its PEC (bulk word reads and data-flash
// pages, HID blocks read to their count byte) has nothing to spoil and shows the pack's value.
TEST(SpoiledPecMatrix, NoReadingFromAReplyWithASpoiledPecIsPrinted) {
  struct PecCell {
    std::string arguments;
    std::string transport;    // device-string keys after the fault
    std::optional<int> exit;  // nullopt: not the link's to decide
    std::function<bool(const std::string&)> printed;
  };
  const auto nothing = [](const std::string& out) { return out.empty(); };
  const auto exactly = [](std::string text) {
    return [text](const std::string& out) { return out == text; };
  };
  const std::set<std::string> names = {"Manufacturer Name", "Device Name", "Device Chemistry"};
  const std::vector<PecCell> cells = {
      {"read-word 09", "", 1, nothing},
      {"read-word 09", ":transport=bulk", 0, exactly("3B60\n")},
      {"mba 54 2", "", 1, nothing},
      {"mba 54 2", ":transport=bulk", 1, nothing},
      {"df get 'CUV Threshold'", "", 1, nothing},
      {"df get 'CUV Threshold'", ":transport=bulk", 0, exactly("2500\n")},
      // watch goes on over failed readings and marks them; its exit status is the command's.
      {"watch 09 --count 2", "", std::nullopt,
       exactly("09=----  Target Board Not Responding\n09=----  Target Board Not Responding\n")},
      {"watch 09 --count 2", ":transport=bulk", 0,
       exactly("09=3B60  USB Connected\n09=3B60  USB Connected\n")},
      {"scan --once", "", 1, [&](const std::string& out) { return RowsShown(out) == names; }},
      {"scan --once", ":transport=bulk", 1,
       [](const std::string& out) {
         const std::set<std::string> shown = RowsShown(out);
         for (const char* row : {"Manufacturer Name", "Device Name", "Cell Voltage 1",
                                 "Operation Status", "Safety Status", "Gauge Debug Info"}) {
           if (shown.contains(row)) return false;
         }
         return shown.contains("Voltage") && shown.contains("Device Chemistry");
       }},
  };
  for (const PecCell& cell : cells) {
    SCOPED_TRACE(cell.arguments + cell.transport);
    const CliRun run = RunCli("--device sim:clock=virtual:faults=corrupt-pec-every=1" +
                              cell.transport + " " + cell.arguments);
    if (cell.exit) {
      EXPECT_EQ(run.exit_code, *cell.exit) << run.err;
    }
    EXPECT_TRUE(cell.printed(run.out)) << run.out;
    if (run.exit_code != 0) {
      EXPECT_FALSE(run.err.empty());
    }
  }
}

}  // namespace
}  // namespace cw::test
