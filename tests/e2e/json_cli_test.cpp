// --json: every reading command on the simulated pack gives one document that matches its schema
// in docs/json/, with the exit status the same command gives without --json.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_runner.h"
#include "support/json_schema.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kSim = "--device sim:clock=virtual ";

struct Case {
  const char* name;
  std::string arguments;  // --json is added at the end
  const char* schema;     // the file in docs/json/ the document must match
  int exit_code;
  std::string environment = "";
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class JsonFilesTest : public ::testing::Test {
 public:
  // The files the cases read, made once: two constants files a key apart, and two scripts.
  static void SetUpTestSuite() {
    fs::create_directories(Dir());
    const CliRun saved =
        RunCli(std::string(kSim) + "df read-all -o " + (Dir() / "gauge.afi").string());
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    std::ifstream in(Dir() / "gauge.afi");
    std::ofstream out(Dir() / "changed.afi");
    for (std::string line; std::getline(in, line);) {
      out << (line.starts_with("Design Capacity") ? "Design Capacity = 4400" : line) << "\n";
    }
    const std::string pec = RunCli("pec 16 77 12 00").out.substr(0, 2);
    std::ofstream(Dir() / "clean.fs") << "W: 16 77 12 00 " << pec << "\nX: 2\n";
    std::ofstream(Dir() / "bad.fs") << ";seeded\nX: -1\nW: 16 77 22 00 00\n";
    const CliRun logged = RunCli(std::string(kSim) + "log " + (Dir() / "run.LOG").string() +
                                 " --samples 2 --rows \"Voltage,Battery Mode,Gauge Debug Info\"");
    ASSERT_EQ(logged.exit_code, 0) << logged.err;
  }
  static void TearDownTestSuite() { fs::remove_all(Dir()); }

  static fs::path Dir() {
    return fs::temp_directory_path() / ("cw-json-" + std::to_string(::getpid()));
  }
};

class JsonCliTest : public JsonFilesTest, public ::testing::WithParamInterface<Case> {};

// The paths in a case's arguments are written as @name.
std::string WithPaths(std::string arguments) {
  for (std::size_t at; (at = arguments.find('@')) != std::string::npos;) {
    arguments.replace(at, 1, JsonFilesTest::Dir().string() + "/");
  }
  return arguments;
}

TEST_P(JsonCliTest, PrintsOneDocumentThatMatchesItsSchema) {
  const Case& c = GetParam();
  const std::string arguments = WithPaths(c.arguments);
  const CliRun run = RunCli(arguments + " --json", c.environment);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
  // parse() refuses anything after the one document.
  const json document = json::parse(run.out, nullptr, false);
  ASSERT_FALSE(document.is_discarded()) << run.out;
  JsonSchemaChecker checker(CELLWARDEN_JSON_SCHEMAS);
  for (const std::string& error : checker.Check(document, c.schema)) {
    ADD_FAILURE() << c.schema << " " << error << "\n" << run.out;
  }
  EXPECT_EQ(RunCli(arguments, c.environment).exit_code, run.exit_code)
      << "the text and the document end alike";
}

const std::string kUsbShim =
    "LD_PRELOAD=" +
    (fs::path(CELLWARDEN_CLI).parent_path().parent_path() / "lib" / "libcw_fake_usb.so").string() +
    " ASAN_OPTIONS=${ASAN_OPTIONS}:verify_asan_link_order=0 ";

INSTANTIATE_TEST_SUITE_P(
    Commands, JsonCliTest,
    ::testing::Values(
        Case{"ProbeHid", std::string(kSim) + "probe", "probe.json", 0},
        Case{"Adapters", "--device sim:packs=2:transport=both adapters", "adapters.json", 0},
        Case{"ProbeBulk", "--device sim:transport=bulk:clock=virtual probe", "probe.json", 0},
        Case{"ReadWord", std::string(kSim) + "read-word 0F", "read-word.json", 0},
        Case{"Mba", std::string(kSim) + "mba 54 2", "mba.json", 0},
        Case{"ScanOnce", std::string(kSim) + "scan --once", "scan.json", 0},
        Case{"DfGet", std::string(kSim) + "df get 'Design Capacity'", "df-get.json", 0},
        Case{"DfDump", std::string(kSim) + "df dump", "df-dump.json", 0},
        Case{"DfDiffFiles", "df diff @gauge.afi @changed.afi", "df-diff.json", 1},
        Case{"DfDiffGauge", std::string(kSim) + "df diff @gauge.afi", "df-diff.json", 0},
        Case{"DfLintClean", "df lint @gauge.afi", "df-lint.json", 0},
        // Learned capacities that are not the changed file's design capacity.
        Case{"DfLintFindings", "df lint @changed.afi", "df-lint.json", 1},
        Case{"About", std::string(kSim) + "about", "about.json", 0},
        Case{"FsCheckClean", "fs check @clean.fs", "fs-check.json", 0},
        Case{"FsCheckProblems", "fs check @bad.fs", "fs-check.json", 1},
        Case{"LogSummary", "log summary @run.LOG", "log-summary.json", 0},
        Case{"LogSummaryOfNoLog", "log summary @bad.fs", "error.json", 1},
        Case{"AuthDigest",
             "auth digest 00112233445566778899AABBCCDDEEFF "
             "0011223344556677889900112233445566778899",
             "auth-digest.json", 0},
        Case{"DoctorNothingAttached", "doctor --udev-dir @", "doctor.json", 1},
        Case{"DoctorReady", "doctor --udev-dir @", "doctor.json", 0,
             kUsbShim + "CW_FAKE_USB='hid /dev/hidraw3 16c0:8888 serial=888800000001'"},
        Case{"DoctorBusyBulk", "doctor --udev-dir @", "doctor.json", 1,
             kUsbShim + "CW_FAKE_USB='usb 1/5 16c0:8000 serial=888800000001 claim-error=-6'"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Errors, JsonCliTest,
    ::testing::Values(
        Case{"NoAdapter", std::string(kSim) + "--pid 1234 read-word 09", "error.json", 1},
        Case{"NoAdapters", std::string(kSim) + "--pid 1234 adapters", "error.json", 1},
        Case{"NoAdapterScan", std::string(kSim) + "--pid 1234 scan --once", "error.json", 1},
        Case{"BadArgument", std::string(kSim) + "read-word ZZ", "error.json", 2},
        Case{"MissingArgument", std::string(kSim) + "mba 54", "error.json", 2},
        Case{"UnknownParameter", std::string(kSim) + "df get Nonsense", "error.json", 2},
        Case{"BadDevice", "--device usb probe", "error.json", 2},
        Case{"GaugeSilent", "--device sim:faults=nack-every=1:clock=virtual read-word 09",
             "error.json", 1},
        Case{"MissingScript", "fs check @none.fs", "error.json", 2},
        Case{"MissingGolden", "df lint @none.afi", "error.json", 2},
        Case{"BadKey", "auth digest 0011 0011", "error.json", 2},
        Case{"DoctorOnSim", std::string(kSim) + "doctor", "error.json", 2}),
    [](const auto& info) { return std::string(info.param.name); });

// What the documents say, beyond their shape.
json Document(const std::string& arguments) {
  const CliRun run = RunCli(WithPaths(arguments) + " --json");
  return json::parse(run.out, nullptr, false);
}

TEST_F(JsonFilesTest, DocumentsCarryTheReadings) {
  const json word = Document(std::string(kSim) + "read-word 0F")["register"];
  EXPECT_EQ(word["name"], "RemainingCapacity");
  EXPECT_EQ(word["unit"], "mAh");
  EXPECT_EQ(word["value"], word["raw"]);

  const json scan = Document(std::string(kSim) + "scan --once");
  EXPECT_EQ(scan["registers"].size(), scan["rows"].get<std::size_t>());
  EXPECT_EQ(scan["unread"], 0);

  EXPECT_EQ(Document(std::string(kSim) + "df dump")["parameters"].size(), 340u);

  const json diff = Document("df diff @gauge.afi @changed.afi");
  ASSERT_EQ(diff["differences"].size(), 1u) << diff;
  EXPECT_EQ(diff["differences"][0]["other_value"], 4400);

  const json problems = Document("fs check @bad.fs")["problems"];
  ASSERT_EQ(problems.size(), 2u) << problems;
  EXPECT_EQ(problems[0]["line"], 2);
  EXPECT_EQ(problems[1]["kind"], "write_pec");
}

TEST_F(JsonFilesTest, ErrorsNameTheirKindWithTheirExitCode) {
  struct Expected {
    std::string arguments;
    const char* kind;
    int exit_code;
  };
  for (const Expected& e : {
           Expected{std::string(kSim) + "--pid 1234 probe", "no_adapter", 1},
           Expected{std::string(kSim) + "read-word ZZ", "usage", 2},
           Expected{"--device sim:faults=nack-every=1:clock=virtual read-word 09",
                    "gauge_not_responding", 1},
           Expected{"fs check @none.fs", "file", 2},
           // A device string the simulated pack cannot take is a refused command line.
           Expected{"--device sim:faults=bogus read-word 09", "usage", 2},
           Expected{"--device sim:faults=nack-every=abc read-word 09", "usage", 2},
           Expected{"--device sim:faults=drop-after=1@2@3 read-word 09", "usage", 2},
           Expected{"--device sim:packs=3:faults=drop-after=1@4 read-word 09", "usage", 2},
           // An adapter named that is not plugged in.
           Expected{"--device hid:nonexistent read-word 09", "no_adapter", 1},
           Expected{"--device sim:adapter=hid:888800000004 read-word 09", "no_adapter", 1},
       }) {
    const CliRun run = RunCli(WithPaths(e.arguments) + " --json");
    const json document = json::parse(run.out, nullptr, false);
    EXPECT_EQ(document["error"]["kind"], e.kind) << e.arguments << "\n" << run.out << run.err;
    EXPECT_EQ(run.exit_code, e.exit_code) << e.arguments;
  }
}

}  // namespace
}  // namespace cw::test
