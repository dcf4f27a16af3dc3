// station run on simulated packs, the way a pack line uses it: a whole recipe on four packs
// (one of them faulty), recipes refused before any pack, Ctrl-C in the middle, the records read
// back as a table and as documented JSON, and two stations on one store.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_interrupt.h"
#include "cli_runner.h"
#include "support/json_schema.h"
#include "support/recipe_folder.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The rows of a CSV document, each split into its fields (quoted fields may hold commas, quotes
// and line ends).
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        rows.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        rows.back().back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\n') {
      rows.emplace_back(1);
    } else if (c != '\r') {
      rows.back().back() += c;
    }
  }
  if (rows.back().size() == 1 && rows.back().front().empty()) rows.pop_back();
  return rows;
}

class StationCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cw-station-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "line");
    folder_.emplace(dir_ / "line");
    WriteRecipe(folder_->FullSteps());
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  std::string Recipe() const { return P("line/pack-line.toml"); }
  void WriteRecipe(const std::string& steps) const { folder_->Write("pack-line", steps); }
  // station run on `packs` simulated packs, each kept in a state file under DIR/packs.
  std::string Station(const std::string& device, const std::string& arguments = "") const {
    return "--device " + device + ":state=" + P("packs") + " station run " + Recipe() +
           " --records " + P("records.sqlite") + " " + arguments;
  }
  json Records(const std::string& command) const {
    const CliRun run = RunCli("records " + command + " --json --records " + P("records.sqlite"));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return json::parse(run.out, nullptr, false);
  }
  json PackState(int pack) const {
    std::ifstream file(P("packs/88880000000" + std::to_string(pack) + ".json"));
    return json::parse(file, nullptr, false);
  }

  fs::path dir_;
  std::optional<RecipeFolder> folder_;  // the simulated pack's files, recipes beside them
};

TEST_F(StationCli, FourPacksRunAtOnceAndAFaultyOneFailsAlone) {
  // Each run handed to the factory's folder, and a label for each passed pack.
  std::ofstream(dir_ / "line/files/label.zpl") << "^XA^FO40,40^FD{serial} {result} {date}^FS^XZ\n";
  WriteRecipe(folder_->FullSteps() + "[handoff]\nfolder = \"../handoff\"\n" +
              folder_->FileKeys("label", "files/label.zpl"));
  const CliRun run = RunCli(Station("sim:packs=4:clock=virtual:faults=safety-alarm=0002@3",
                                    "--station line-1 --operator Mei"));
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  EXPECT_TRUE(Has(run.out, "888800000003  run ")) << run.out;
  EXPECT_TRUE(Has(run.out, "step 7/8 check failed: ")) << run.out;
  EXPECT_TRUE(Has(run.out, "3 pass, 1 fail, 0 stopped; yield 75.0 %")) << run.out;

  const json runs = Records("export")["runs"];
  ASSERT_EQ(runs.size(), 4u);
  std::set<std::int64_t> serials;
  for (const json& record : runs) {
    const bool faulty = record["adapter_serial"] == "888800000003";
    SCOPED_TRACE(record.dump());
    EXPECT_EQ(record["station"], "line-1");
    EXPECT_EQ(record["operator"], "Mei");
    EXPECT_EQ(record["device_type"], 0x0714);
    const std::int64_t serial = record["serial"]["number"];
    EXPECT_GE(serial, 1000);
    EXPECT_LE(serial, 1999);
    serials.insert(serial);
    EXPECT_EQ(record["result"], faulty ? "fail" : "pass");
    std::vector<std::string> steps;
    for (const json& step : record["steps"]) steps.push_back(step["step"]);
    if (faulty) {
      EXPECT_EQ(record["failed_step"], "check");
      EXPECT_TRUE(Has(record["failure"].get<std::string>(), "Safety Status"));
      EXPECT_EQ(steps.back(), "check");
      EXPECT_EQ(record["steps"].back()["result"], "fail");
    } else {
      EXPECT_EQ(steps, (std::vector<std::string>{"gauge", "firmware", "constants", "calibrate",
                                                 "serial", "date", "verify", "check", "seal"}));
    }
    const int pack = std::stoi(record["adapter_serial"].get<std::string>().substr(11));
    EXPECT_EQ(PackState(pack)["seal_state"], faulty ? "unsealed" : "sealed");
  }
  EXPECT_EQ(serials.size(), 4u);
  const json failed = Records("list --result fail")["runs"];
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0]["adapter_serial"], "888800000003");

  // The records as a table and as the documented JSON.
  const CliRun csv = RunCli("records export --csv --records " + P("records.sqlite"));
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  const auto rows = CsvRows(csv.out);
  ASSERT_EQ(rows.size(), 5u);
  for (const auto& row : rows) EXPECT_EQ(row.size(), rows.front().size());
  JsonSchemaChecker checker(CELLWARDEN_JSON_SCHEMAS);
  EXPECT_EQ(checker.Check(Records("export"), "records.json"), std::vector<std::string>{});
  EXPECT_EQ(checker.Check(Records("show " + std::to_string(runs[2]["id"].get<int>())),
                          "records-run.json"),
            std::vector<std::string>{});

  // The hand-off: a whole document per run, valid against its schema, no temporary file left,
  // and a label for each passed pack with its serial number.
  std::vector<std::string> documents, labels;
  for (const auto& entry : fs::directory_iterator(dir_ / "handoff")) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".json") {
      documents.push_back(name);
      const json document = json::parse(ReadText(entry.path()), nullptr, false);
      EXPECT_EQ(checker.Check(document, "handoff.json"), std::vector<std::string>{}) << name;
    } else if (entry.path().extension() == ".zpl") {
      labels.push_back(ReadText(entry.path()));
      EXPECT_TRUE(Has(labels.back(), " pass ")) << labels.back();
    } else {
      ADD_FAILURE() << "left in the hand-off folder: " << name;
    }
  }
  EXPECT_EQ(documents.size(), 4u);
  EXPECT_EQ(labels.size(), 3u);

  // The yield: 3 of 4, each pack at its first run, the failing step and its cause first.
  const json yield = Records("yield")["recipes"];
  ASSERT_EQ(yield.size(), 1u);
  EXPECT_EQ(yield[0]["passed"], 3);
  EXPECT_EQ(yield[0]["packs"], 4);
  EXPECT_EQ(yield[0]["first_pass_percent"], 75.0);
  EXPECT_EQ(yield[0]["failures"][0],
            (json{{"step", "check"}, {"cause", "out_of_limits"}, {"count", 1}}));

  // Each pack's report lists every step it went through; the faulty one its failing check.
  for (const json& record : runs) {
    const std::string serial = std::to_string(record["serial"]["number"].get<std::int64_t>());
    const CliRun report = RunCli("records report " + serial + " --records " + P("records.sqlite"));
    ASSERT_EQ(report.exit_code, 0) << report.err;
    for (const json& step : record["steps"]) {
      EXPECT_TRUE(Has(report.out, "  " + step["step"].get<std::string>() + " ")) << report.out;
    }
    if (record["result"] == "fail") {
      EXPECT_TRUE(Has(report.out, "check            1  fail    out_of_limits")) << report.out;
      EXPECT_TRUE(Has(report.out, "Safety Status: 0x0002 (must read 0)")) << report.out;
    }
  }
}

// The line of the recipe that holds `text`, and the line one past its end.
int LineOf(const fs::path& recipe, const std::string& text) {
  std::ifstream file(recipe);
  int number = 1;
  for (std::string line; std::getline(file, line); ++number) {
    if (Has(line, text)) return number;
  }
  return number;
}

TEST_F(StationCli, RefusesABadRecipeBeforeAnyPackAndSaysWhere) {
  const std::string afi_line = std::to_string(LineOf(Recipe(), "afi = "));
  const std::string end_line = std::to_string(LineOf(Recipe(), "no line holds this"));
  struct Case {
    const char* name;
    std::string file;  // of the recipe folder, appended to
    std::string appended;
    std::string says;
  };
  const Case cases[] = {
      {"a file changed after hashing", "files/golden.afi", "\n",
       "pack-line.toml:" + afi_line + ": files/golden.afi: the file's SHA-256 is"},
      {"an unknown key", "pack-line.toml", "colour = 1\n",
       "pack-line.toml:" + end_line + ": unknown key \"colour\" in [steps.seal]"},
      {"an unknown step", "pack-line.toml", "[steps.polish]\n",
       "pack-line.toml:" + end_line + ": unknown step \"polish\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string golden = ReadText(dir_ / "line/files/golden.afi");
    WriteRecipe(folder_->FullSteps());
    std::ofstream(dir_ / "line" / c.file, std::ios::app) << c.appended;
    const CliRun run = RunCli(Station("sim:packs=2:clock=virtual"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(Has(run.err, c.says)) << run.err;
    EXPECT_TRUE(Has(run.err, "the recipe is refused")) << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "records.sqlite"));
    std::ofstream(dir_ / "line/files/golden.afi", std::ios::binary) << golden;
  }
}

// A count or a run number that is none is a refused command line, never "every run" or run 0.
TEST_F(StationCli, RecordsRefuseCountsAndRunNumbersThatAreNone) {
  for (const std::string arguments :
       {"list --last 0", "list --last -1", "show ''", "show abc", "show 0"}) {
    const CliRun run = RunCli("records " + arguments + " --records " + P("records.sqlite"));
    EXPECT_EQ(run.exit_code, 2) << arguments << "\n" << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "records.sqlite")) << arguments;
  }
}

TEST_F(StationCli, AskedReferencesAreTakenFromTheCommandLineOrRefused) {
  std::string steps = folder_->FullSteps();
  const std::string cells = "cells_mv = [3800, 3801, 3799, 3800]";
  ASSERT_NE(steps.find(cells), std::string::npos);
  steps.replace(steps.find(cells), cells.size(), "cells_mv = [3800, 3801, 3799, \"ask\"]");
  WriteRecipe(steps);
  const CliRun missing = RunCli(Station("sim:packs=1:clock=virtual") + " </dev/null");
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_TRUE(Has(missing.err, "asks for these references for each pack: cell4")) << missing.err;
  EXPECT_EQ(RunCli(Station("sim:packs=1:clock=virtual", "--reference ts1=25")).exit_code, 2);
  const CliRun given = RunCli(Station("sim:packs=1:clock=virtual", "--reference cell4=3800"));
  EXPECT_EQ(given.exit_code, 0) << given.out << given.err;
}

// Ctrl-C mid-firmware, then the same packs and records again: the stopped runs stay stopped,
// the packs left in their boot loaders are reflashed, every pack passes with a number of its own.
TEST_F(StationCli, CtrlCStopsEveryPackAtASafePointAndTheNextRunReworksThem) {
  // The real clock: the firmware step takes long enough for the signal to land inside it, once
  // a pack has sent tens of its records.
  const Interrupted run = InterruptCli(Station("sim:packs=4"), "[0-9]{2,}/[0-9]{3,}", SIGINT);
  EXPECT_EQ(run.exit_code, 130) << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "0 pass, 0 fail, 4 stopped")) << run.transcript;
  EXPECT_TRUE(Has(run.transcript,
                  "stopped at firmware: stopped by the operator during firmware: "
                  "The update was stopped after"))
      << run.transcript;

  const CliRun again = RunCli(Station("sim:packs=4:clock=virtual"));
  EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
  const json runs = Records("export")["runs"];
  ASSERT_EQ(runs.size(), 8u);
  std::set<std::int64_t> serials;
  int reworked = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i]["result"], i < 4 ? "stopped" : "pass") << runs[i].dump();
    if (i < 4) continue;
    EXPECT_TRUE(serials.insert(runs[i]["serial"]["number"].get<std::int64_t>()).second);
    const json& gauge = runs[i]["steps"][0]["measurements"];
    if (gauge.contains("boot_loader")) ++reworked;
  }
  EXPECT_GE(reworked, 1);
}

// The records file deleted while the packs take their constants: no pack is reported passed,
// each run says why, and the station makes no new file under the old name; a new file then
// issues the new runs' numbers only.
TEST_F(StationCli, RecordsDeletedMidRunPassNoPack) {
  WriteRecipe("[steps.constants]\n" + folder_->FileKeys("afi", "files/golden.afi") +
              "[steps.serial]\nstart = 1000\nend = 1999\n[steps.seal]\n");
  const Interrupted run = InterruptCli(Station("sim:packs=2"), "constants", [this](pid_t) {
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(P("records.sqlite") + suffix);
  });
  EXPECT_EQ(run.exit_code, 1) << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "0 pass, 2 fail")) << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "was deleted")) << run.transcript;
  EXPECT_FALSE(fs::exists(P("records.sqlite")))
      << "the station made no new file under the old name";

  const CliRun again = RunCli(Station("sim:packs=2:clock=virtual"));
  EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
  const json document = Records("serials");
  EXPECT_EQ(JsonSchemaChecker(CELLWARDEN_JSON_SCHEMAS).Check(document, "records-serials.json"),
            std::vector<std::string>{});
  const json& serials = document["serials"];
  ASSERT_EQ(serials.size(), 2u) << serials.dump();
  for (const json& serial : serials) EXPECT_EQ(serial["state"], "pass") << serial.dump();
}

// Two stations (processes) on one store, each on its own four packs: eight distinct serials.
class TwoStations : public StationCli, public ::testing::WithParamInterface<const char*> {};

TEST_P(TwoStations, NeverHandOutTheSameSerial) {
  std::string records = P("records.sqlite");
  if (std::string(GetParam()) == "Postgres") {
    const char* url = std::getenv("CW_POSTGRES_URL");
    if (url == nullptr || *url == '\0') GTEST_SKIP() << "CW_POSTGRES_URL names no server";
    records = url;
  }
  const auto station = [&](int number) {
    return std::async(std::launch::async, [&, number] {
      return RunCli("--device sim:packs=4:clock=virtual:state=" +
                    P("packs" + std::to_string(number)) + " station run " + Recipe() +
                    " --station line-" + std::to_string(number) + " --records '" + records + "'");
    });
  };
  auto first = station(1);
  auto second = station(2);
  const CliRun one = first.get();
  const CliRun two = second.get();
  EXPECT_EQ(one.exit_code, 0) << one.out << one.err;
  EXPECT_EQ(two.exit_code, 0) << two.out << two.err;
  const CliRun list = RunCli("records list --json --records '" + records + "'");
  ASSERT_EQ(list.exit_code, 0) << list.err;
  std::set<std::int64_t> serials;
  std::set<std::string> stations;
  const json document = json::parse(list.out);
  for (const json& record : document["runs"]) {
    serials.insert(record["serial"]["number"].get<std::int64_t>());
    stations.insert(record["station"]);
  }
  EXPECT_EQ(serials.size(), 8u);
  EXPECT_EQ(stations, (std::set<std::string>{"line-1", "line-2"}));
}

INSTANTIATE_TEST_SUITE_P(Stores, TwoStations, ::testing::Values("Sqlite", "Postgres"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace cw::test
