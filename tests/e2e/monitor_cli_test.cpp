// The monitoring commands run as a user runs them, against the simulated pack.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

// The virtual clock makes every run of the pack start alike and take no time.
const std::string kPack = "--device sim:clock=virtual ";
// A value of a .LOG that was not read.
const std::string kNaN = "NaN";

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

struct ScanLine {
  std::string value;
  std::string unit;
};

struct ScanOutput {
  std::map<std::string, ScanLine> rows;
  std::vector<std::string> order;
};

ScanOutput ParseScan(const std::string& out) {
  ScanOutput parsed;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto first = line.find('\t');
    const auto second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
      ADD_FAILURE() << "not name, value, unit: " << line;
      continue;
    }
    const std::string name = line.substr(0, first);
    parsed.rows[name] = {line.substr(first + 1, second - first - 1), line.substr(second + 1)};
    parsed.order.push_back(name);
  }
  return parsed;
}

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string Format(const char* format, long value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Temperature(long raw) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", static_cast<float>(raw) * 0.1f - 273.1);
  return text;
}

// Word registers as the link reads them: one `watch` reading of every command ("09=3B60").
std::map<int, long> ReadWords(const std::vector<int>& commands) {
  std::string arguments = kPack + "watch --count 1";
  for (int command : commands) arguments += " " + Hex2(command);
  const CliRun run = RunCli(arguments);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::map<int, long> words;
  std::istringstream tokens(run.out);
  std::string token;
  while (tokens >> token) {
    if (token.size() == 7 && token[2] == '=') {
      words[std::stoi(token.substr(0, 2), nullptr, 16)] = std::stol(token.substr(3), nullptr, 16);
    }
  }
  return words;
}

// The data bytes of a ManufacturerBlockAccess reply, read with `mba`.
std::vector<std::uint8_t> ReadBlock(int subcommand, int length) {
  const CliRun run = RunCli(kPack + "mba " + Hex2(subcommand) + " " + std::to_string(length));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::uint8_t> bytes;
  std::istringstream in(run.out);
  std::string byte;
  while (in >> byte) bytes.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
  // count, subcommand, 0, data..., PEC
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(length) + 4) << run.out;
  EXPECT_EQ(bytes[0], length + 2);
  return std::vector<std::uint8_t>(bytes.begin() + 3, bytes.begin() + 3 + length);
}

enum class Kind { kPlain, kSigned, kTemperature };

struct Expected {
  const char* name;
  int source;  // word command, or block subcommand
  const char* format;
  Kind kind;
  const char* unit;
  int offset = -1;  // block rows: byte offset and size in the reply data
  int size = 2;
};

std::string Convert(const Expected& row, long raw) {
  switch (row.kind) {
    case Kind::kSigned:
      return Format(row.format, static_cast<std::int16_t>(raw));
    case Kind::kTemperature:
      return Temperature(raw);
    case Kind::kPlain:
      break;
  }
  return Format(row.format, raw);
}

constexpr Kind P = Kind::kPlain;
constexpr Kind S = Kind::kSigned;
constexpr Kind T = Kind::kTemperature;

const std::vector<Expected> kWordRows = {
    {"Manufacture Access", 0x00, "%04lX", P, "hex"},
    {"Remaining Cap. Alarm", 0x01, "%ld", P, "mAh"},
    {"Remaining Time Alarm", 0x02, "%ld", P, "min"},
    {"Battery Mode", 0x03, "%04lX", P, "hex"},
    {"At Rate", 0x04, "%ld", S, "mA"},
    {"At Rate Time To Full", 0x05, "%ld", P, "min"},
    {"At Rate Time To Empty", 0x06, "%ld", P, "min"},
    {"At Rate OK", 0x07, "%ld", P, "-"},
    {"Temperature", 0x08, "", T, "'C"},
    {"Voltage", 0x09, "%ld", P, "mV"},
    {"Current", 0x0A, "%ld", S, "mA"},
    {"AverageCurrent", 0x0B, "%ld", S, "mA"},
    {"Max Error", 0x0C, "%ld", P, "%"},
    {"Relative State of Charge", 0x0D, "%ld", P, "%"},
    {"Absolute State of Charge", 0x0E, "%ld", P, "%"},
    {"RemainingCapacity", 0x0F, "%ld", P, "mAh"},
    {"FullChargeCapacity", 0x10, "%ld", P, "mAh"},
    {"Real RemainingCapacity", 0x1D, "%ld", P, "mAh"},
    {"Real FullChargeCapacity", 0x1E, "%ld", P, "mAh"},
    {"Run Time To Empty", 0x11, "%ld", P, "min"},
    {"Average Time to Empty", 0x12, "%ld", P, "min"},
    {"Average Time to Full", 0x13, "%ld", P, "min"},
    {"Charging Current", 0x14, "%ld", S, "mA"},
    {"Charging Voltage", 0x15, "%ld", P, "mV"},
    {"Battery Status", 0x16, "%04lX", P, "hex"},
    {"Cycle Count", 0x17, "%ld", P, "-"},
    {"State of Health", 0x4F, "%ld", P, "%"},
    {"Design Capacity", 0x18, "%ld", P, "mAh"},
    {"Design Voltage", 0x19, "%ld", P, "mV"},
    {"Spe\x63ification Info", 0x1A, "%04lX", P, "hex"},
    {"Serial Number", 0x1C, "%04lX", P, "hex"},
};

std::vector<Expected> BlockRows() {
  std::vector<Expected> rows = {
      {"Cell Voltage 4", 0x71, "%ld", P, "mV", 6},
      {"Cell Voltage 3", 0x71, "%ld", P, "mV", 4},
      {"Cell Voltage 2", 0x71, "%ld", P, "mV", 2},
      {"Cell Voltage 1", 0x71, "%ld", P, "mV", 0},
      {"Pack Voltage", 0x71, "%ld", P, "mV", 8},
      {"TS1 Temperature", 0x72, "", T, "'C", 0},
      {"TS2 Temperature", 0x72, "", T, "'C", 2},
      {"TS3 Temperature", 0x72, "", T, "'C", 4},
      {"TS4 Temperature", 0x72, "", T, "'C", 6},
      {"Cell Temperature", 0x72, "", T, "'C", 8},
      {"FET Temperature", 0x72, "", T, "'C", 10},
      {"Safety Status", 0x51, "%08lX", P, "hex", 0, 4},
      {"PF Status", 0x53, "%08lX", P, "hex", 0, 4},
      {"Operation Status", 0x54, "%04lX", P, "hex", 0},
      {"Temp Range", 0x55, "%04lX", P, "hex", 0, 1},
      {"Charging Status", 0x55, "%04lX", P, "hex", 1},
      {"Manufacturing Status", 0x57, "%04lX", P, "hex", 0},
  };
  const char* gauging[] = {"Gauge Update Index", "Gauge Update Status", "Thermal Temp",
                           "Rootfinding Load"};
  const char* gauging_formats[] = {"%04lX", "%04lX", "%ld", "%ld"};
  const Kind gauging_kinds[] = {P, P, S, S};
  const char* gauging_units[] = {"hex", "hex", "0.1'C", "mA"};
  for (int i = 0; i < 4; ++i) {
    rows.push_back(
        {gauging[i], 0x73, gauging_formats[i], gauging_kinds[i], gauging_units[i], 2 * i});
  }
  static std::vector<std::string> names;  // keeps the generated names alive
  names.clear();
  names.reserve(64);
  const auto per_cell = [&](const char* pattern, int subcommand, int first_offset, int step,
                            int size, const char* format, const char* unit) {
    for (int cell = 1; cell <= 4; ++cell) {
      char name[40];
      std::snprintf(name, sizeof name, pattern, cell);
      names.push_back(name);
      rows.push_back({names.back().c_str(), subcommand, format, P, unit,
                      first_offset + step * (cell - 1), size});
    }
  };
  per_cell("Cell %d ModelRatio", 0x73, 8, 2, 2, "%ld", "-");
  per_cell("Cell %d SOCEOC", 0x73, 16, 2, 2, "%ld", "-");
  per_cell("Cell %d SOCEOD", 0x73, 24, 2, 2, "%ld", "-");
  const Expected run_data[] = {
      {"High Run Time", 0x74, "%ld", P, "hour", 4}, {"Run Time", 0x74, "%ld", P, "Sec", 6},
      {"Passed Charge", 0x74, "%ld", S, "mAh", 8},  {"Passed Energy", 0x74, "%ld", S, "cWh", 10},
      {"Qstart", 0x74, "%ld", S, "mAh", 12},        {"Estart", 0x74, "%ld", S, "cWh", 14},
  };
  rows.insert(rows.end(), std::begin(run_data), std::end(run_data));
  per_cell("Cell %d SOC0", 0x74, 16, 2, 2, "%ld", "-");
  rows.push_back({"Last RC", 0x74, "%ld", P, "-", 24});
  rows.push_back({"RC Offset", 0x74, "%ld", P, "-", 26});
  per_cell("Cell %d Qmax", 0x75, 0, 2, 2, "%ld", "mAh");
  rows.push_back({"FG Status", 0x75, "%02lX", P, "hex", 8, 1});
  rows.push_back({"RCFilter Flag", 0x75, "%02lx", P, "hex", 9, 1});
  rows.push_back({"RCFilter Time", 0x75, "%ld", P, "Sec", 10});
  rows.push_back({"Qmax CycleCount", 0x75, "%ld", P, "-", 12});
  per_cell("Cell %d VoltEOC", 0x75, 14, 2, 2, "%ld", "mV");
  rows.push_back({"CUR at EOC", 0x75, "%ld", S, "mA", 22});
  rows.push_back({"Averge I Last Run", 0x75, "%ld", S, "mA", 24});
  rows.push_back({"Averge P Last Run", 0x75, "%ld", S, "cW", 26});
  per_cell("Cell %d ModelFlag", 0x75, 28, 1, 1, "%02lX", "hex");
  const char* capacities[] = {"True RC",       "True FCC",       "True RE",       "True FCE",
                              "Equivalent RC", "Equivalent FCC", "Equivalent RE", "Equivalent FCE",
                              "Raw RC",        "Raw FCC",        "Raw RE",        "Raw FCE",
                              "SOH FCC",       "SOH FCE"};
  for (int i = 0; i < 14; ++i) {
    const bool energy = std::string(capacities[i]).ends_with('E');
    rows.push_back({capacities[i], 0x78, "%ld", P, energy ? "cWh" : "mAh", 2 * i});
  }
  return rows;
}

int BlockLength(int subcommand) {
  switch (subcommand) {
    case 0x51:
    case 0x53:
      return 4;
    case 0x54:
    case 0x57:
      return 2;
    case 0x55:
      return 3;
    case 0x71:
      return 14;
    case 0x72:
      return 12;
    default:
      return 32;
  }
}

TEST(MonitorCliTest, ScanOncePrintsEveryRowAsThePackHasIt) {
  const CliRun run = RunCli(kPack + "scan --once");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const ScanOutput scan = ParseScan(run.out);
  ASSERT_EQ(scan.order.size(), 17u + 17u + 72u + 8u);
  EXPECT_EQ(scan.order.front(), "Manufacture Access");
  EXPECT_EQ(scan.order[17], "Real RemainingCapacity");
  EXPECT_EQ(scan.order[34], "TS3 Temperature");
  EXPECT_EQ(scan.order[106], "Design Capacity");
  int checked = 0;

  std::vector<int> commands;
  for (const Expected& row : kWordRows) commands.push_back(row.source);
  commands.push_back(0x1B);
  const auto words = ReadWords(commands);
  for (const Expected& row : kWordRows) {
    ASSERT_TRUE(words.contains(row.source)) << row.name;
    const ScanLine& line = scan.rows.at(row.name);
    EXPECT_EQ(line.value, Convert(row, words.at(row.source))) << row.name;
    EXPECT_EQ(line.unit, row.unit) << row.name;
    ++checked;
  }
  const long date = words.at(0x1B);
  const std::string expected_date = std::to_string(date / 512 + 1980) + "-" +
                                    std::to_string(std::clamp((date >> 5) & 0xF, 1L, 12L)) + "-" +
                                    std::to_string(std::max(date & 0x1F, 1L));
  EXPECT_EQ(scan.rows.at("Manufacture Date").value, expected_date);
  ++checked;

  std::map<int, std::vector<std::uint8_t>> blocks;
  for (const Expected& row : BlockRows()) {
    if (!blocks.contains(row.source))
      blocks[row.source] = ReadBlock(row.source, BlockLength(row.source));
    const auto& data = blocks.at(row.source);
    long raw = 0;
    for (int i = 0; i < row.size; ++i) raw |= static_cast<long>(data[row.offset + i]) << (8 * i);
    const ScanLine& line = scan.rows.at(row.name);
    EXPECT_EQ(line.value, Convert(row, raw)) << row.name;
    EXPECT_EQ(line.unit, row.unit) << row.name;
    ++checked;
  }

  const auto debug = ReadBlock(0x79, 32);
  EXPECT_EQ(scan.rows.at("Gauge Debug Info").value, std::string(debug.begin(), debug.end()));
  ++checked;
  // The pack's identity, kept in its data flash.
  EXPECT_EQ(scan.rows.at("Manufacturer Name").value, "Quillmarsh");
  EXPECT_EQ(scan.rows.at("Device Name").value, "KT580714");
  EXPECT_EQ(scan.rows.at("Device Chemistry").value, "LION");
  checked += 3;
  EXPECT_EQ(checked, 114) << "every row of tables A to D";
}

TEST(MonitorCliTest, ScanOnceOnABrokenLinkPrintsEmptyValuesAndFails) {
  const CliRun run = RunCli("--device sim:clock=virtual:faults=drop-after=1 scan --once");
  EXPECT_EQ(run.exit_code, 1);
  const ScanOutput scan = ParseScan(run.out);
  ASSERT_EQ(scan.order.size(), 114u);
  EXPECT_EQ(scan.rows.at("Voltage").value, "");
  EXPECT_EQ(scan.rows.at("Voltage").unit, "mV");
  EXPECT_EQ(scan.rows.at("Device Name").value, "");
  EXPECT_NE(run.err.find("114 of 114 rows could not be read"), std::string::npos) << run.err;
}

class MonitorLogTest : public ::testing::Test {
 protected:
  ~MonitorLogTest() override { std::filesystem::remove_all(directory_); }
  std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::filesystem::path directory_ = [] {
    // One folder per process: other builds may run the same tests at the same time.
    auto path = std::filesystem::temp_directory_path() /
                ("cw_monitor_cli_log_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
};

TEST_F(MonitorLogTest, LogWritesTheHeaderAndOneLinePerSample) {
  const auto path = directory_ / "pack.LOG";
  const CliRun run = RunCli(kPack + "log " + path.string() +
                            " --interval 5 --samples 3 --rows \"Voltage,Remaining Cap. Alarm\"");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string text = Read(path);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  ASSERT_EQ(lines.size(), 13u + 3u);
  EXPECT_EQ(lines[0], "Cellwarden\tVersion: 3.07\tQuillmarsh Electronic LTD.");
  EXPECT_EQ(lines[4], "DesignVoltage: 14400");
  EXPECT_EQ(lines[9], "DeviceName: KT580714");
  EXPECT_EQ(lines[12],
            "Sample        Stamp        Elapsed(s)        RemainingCap.Alarm    "
            "Voltage    ");
  for (int sample = 1; sample <= 3; ++sample) {
    const std::string& line = lines[12 + sample];
    ASSERT_EQ(line.size(), 14u + 13u + 18u + 22u + 11u) << line;
    EXPECT_EQ(line.substr(0, 14), Format("%-14ld", sample));
    EXPECT_EQ(line.substr(27, 18), Format("%-18ld", 5L * sample));
    EXPECT_EQ(line.substr(45, 22), Format("%-22ld", 300));
    EXPECT_EQ(line.substr(67, 11), Format("%-11ld", 15200));
  }
}

TEST_F(MonitorLogTest, UnknownRowIsAUsageErrorAndUncreatableFileAFailure) {
  const auto path = directory_ / "x.LOG";
  const CliRun unknown = RunCli(kPack + "log " + path.string() + " --samples 1 --rows Volts");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("\"Volts\""), std::string::npos) << unknown.err;
  EXPECT_FALSE(std::filesystem::exists(path));

  const CliRun static_row =
      RunCli(kPack + "log " + path.string() + " --samples 1 --rows \"Device Name\"");
  EXPECT_EQ(static_row.exit_code, 2);

  const CliRun interval = RunCli(kPack + "log " + path.string() + " --samples 1 --interval 61");
  EXPECT_EQ(interval.exit_code, 2);

  const auto missing = directory_ / "no" / "such" / "dir.LOG";
  const CliRun uncreatable = RunCli(kPack + "log " + missing.string() + " --samples 1");
  EXPECT_EQ(uncreatable.exit_code, 1);
  EXPECT_NE(uncreatable.err.find(missing.string()), std::string::npos) << uncreatable.err;
}

// A value that could not be read is marked in the file, not written as a "0" that passes for a
// reading; the command says how many there were and fails.
TEST_F(MonitorLogTest, UnreadValuesAreCountedAndFailTheLog) {
  // The adapter goes after the first line: the other two are read from no pack.
  const auto path = directory_ / "unplugged.LOG";
  const CliRun run = RunCli("--device sim:clock=virtual:faults=drop-after=20 log " + path.string() +
                            " --samples 3 --rows \"Voltage,Current\"");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "3 data lines written to " + path.string() + "\n");
  EXPECT_NE(run.err.find("4 of 14 logged values could not be read and are written as NaN (USB "
                         "Disconnected)"),
            std::string::npos)
      << run.err;
  const std::string text = Read(path);
  const std::string last = text.substr(text.rfind("\r\n", text.size() - 3) + 2);
  EXPECT_EQ(last.substr(45), "NaN        NaN        \r\n") << "an unread value is marked";
}

TEST_F(MonitorLogTest, ADirectoryOrADeviceIsNoLogFile) {
  for (const std::string& target : {directory_.string(), std::string("/dev/null")}) {
    const CliRun run = RunCli(kPack + "log " + target + " --samples 1");
    EXPECT_EQ(run.exit_code, 1) << target;
    EXPECT_EQ(run.err, target +
                           " is a directory or a device, not a file a data log can be "
                           "written to\n");
  }
}

TEST(MonitorCliTest, LiveScanWithoutATerminalPrintsPlainScreens) {
  const CliRun run = RunCli(kPack + "scan --count 2");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.find("\x1b["), std::string::npos) << "no terminal control off a terminal";
  std::size_t screens = 0;
  for (std::size_t at = 0; (at = run.out.find("Cellwarden SBS scan", at)) != std::string::npos;
       ++at) {
    ++screens;
  }
  EXPECT_EQ(screens, 2u);
  EXPECT_NE(run.out.find("Device Name\t"), std::string::npos);
}

// On the real clock the worker reads every row between two screens.
TEST(MonitorCliTest, LiveScanShowsTheRowsItRead) {
  const CliRun run = RunCli("--sim scan --count 2");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::size_t last_screen = run.out.rfind("Cellwarden SBS scan");
  ASSERT_NE(last_screen, std::string::npos);
  EXPECT_TRUE(std::regex_search(run.out.substr(last_screen), std::regex("\nVoltage\t[0-9]+\tmV")))
      << run.out.substr(last_screen, 400);
}

// Every row of tables A to C logged three times; the adapter answers every exchange but the
// last, the read of the debug block in the last pass. The header's 8 static values and
// 3 x 106 logged ones: the debug block alone is not read, and the rest of its line was read in
// that pass.
TEST_F(MonitorLogTest, AdapterLostInTheLastReadOfALogOnEitherTransport) {
  for (const std::string& transport : {std::string(), std::string(":transport=bulk")}) {
    SCOPED_TRACE(transport.empty() ? "HID" : "bulk");
    const std::string device = "--device sim:clock=virtual" + transport;
    const std::string log = " log " + (directory_ / "x.LOG").string() + " --interval 1 --samples 3";
    const int exchanges = Exchanges(RunCli(device + " --trace" + log));
    ASSERT_GT(exchanges, 300);

    const CliRun run = RunCli(device + ":faults=drop-after=" + std::to_string(exchanges - 1) + log);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "3 data lines written to " + (directory_ / "x.LOG").string() + "\n");
    EXPECT_NE(run.err.find("1 of 326 logged values could not be read and are written as NaN"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("\nnot read: Gauge Debug Info\n"), std::string::npos) << run.err;
    const std::vector<std::string> lines = LogLines(Read(directory_ / "x.LOG"));
    ASSERT_EQ(lines.size(), 13u + 3u);
    const std::vector<std::string> last = Words(lines.back());
    ASSERT_EQ(last.size(), 3u + 105u + 32u);
    EXPECT_EQ(std::vector<std::string>(last.end() - 32, last.end()),
              std::vector<std::string>(32, kNaN));
    EXPECT_EQ(std::count(last.begin(), last.end(), kNaN), 32);
    EXPECT_EQ(Words(lines[lines.size() - 2]).size(), 3u + 105u + 32u);
  }
}

// The adapter gone from the start: the header's static values (words and block texts) and each
// logged row (word, status block, debug block) are marked and counted.
TEST_F(MonitorLogTest, NothingReadIsMarkedWhateverTheRowKind) {
  const struct {
    const char* rows;
    std::size_t fields;  // words of a data line after its three leading ones
    const char* counted;
    const char* named;
  } cases[] = {
      {"Gauge Debug Info", 32, "10 of 10 logged values could not be read",
       "\nnot read: Design Capacity, Design Voltage, Spe\x63ification Info, Manufacture Date, "
       "Serial Number, Manufacturer Name, Device Name, Device Chemistry, Gauge Debug Info\n"},
      {"Voltage,Cell Voltage 1,Gauge Debug Info", 34, "14 of 14 logged values could not be read",
       ", Device Chemistry, Voltage, Cell Voltage 1 and 1 more\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    const auto path = directory_ / "y.LOG";
    const CliRun run = RunCli("--device sim:clock=virtual:faults=drop-after=1 log " +
                              path.string() + " --samples 2 --rows \"" + c.rows + "\"");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(c.counted), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    const std::vector<std::string> lines = LogLines(Read(path));
    ASSERT_EQ(lines.size(), 13u + 2u);
    for (std::size_t i = 3; i < 11; ++i) {
      EXPECT_TRUE(lines[i].ends_with(": " + kNaN)) << lines[i];
    }
    for (std::size_t i = 13; i < lines.size(); ++i) {
      const std::vector<std::string> words = Words(lines[i]);
      EXPECT_EQ(std::vector<std::string>(words.begin() + 3, words.end()),
                std::vector<std::string>(c.fields, kNaN));
    }
  }
}

}  // namespace
}  // namespace cw::test
