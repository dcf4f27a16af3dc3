// station check and records on the command line, the way an engineer on a pack line uses them.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_runner.h"
#include "common/sha256.h"
#include "production/records_store.h"
#include "records_fixture.h"

namespace cw::test {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string HashOf(const std::filesystem::path& path) {
  const std::string text = ReadText(path);
  return common::Sha256Hex(
             common::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
      .value_or("");
}

std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::ranges::count(text, '\n'));
}

class StationCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_.path() / "files");
    const std::string sim = "--device sim:clock=virtual ";
    ASSERT_EQ(RunCli(sim + "df read-all -o " + folder_.File("files/golden.afi")).exit_code, 0);
    const CliRun exported = RunCli(sim + "fw export " + folder_.File("files/pack.bin"));
    ASSERT_EQ(exported.exit_code, 0) << exported.err;
  }

  // The recipe, written beside its files; `extra` is added to [steps.serial].
  std::string WriteRecipe(const std::string& extra = "") {
    const std::string recipe =
        "name = \"line\"\n"
        "[gauge]\n"
        "device_type = 0x0714\n"
        "[steps.firmware]\n"
        "image = \"files/pack.bin\"\n"
        "sha256 = \"" +
        HashOf(folder_.path() / "files/pack.bin") +
        "\"\n"
        "[steps.constants]\n"
        "afi = \"files/golden.afi\"\n"
        "sha256 = \"" +
        HashOf(folder_.path() / "files/golden.afi") +
        "\"\n"
        "[steps.serial]\n"
        "start = 1\n"
        "end = 500\n" +
        extra +
        "[steps.verify]\n"
        "masks = [\"serial\", \"lifetime\"]\n"
        "[steps.seal]\n";
    std::ofstream(folder_.path() / "line.toml") << recipe;
    return folder_.File("line.toml");
  }

  ScratchFolder folder_;
};

TEST_F(StationCheckTest, PassesARecipeWhoseFilesMatchAndNamesAFileThatChanged) {
  const std::string recipe = WriteRecipe();
  const CliRun good = RunCli("station check " + recipe);
  ASSERT_EQ(good.exit_code, 0) << good.err;
  EXPECT_NE(good.out.find("sha256 " + HashOf(recipe)), std::string::npos);
  EXPECT_NE(good.out.find("steps: firmware, constants, serial, verify, seal"), std::string::npos);
  EXPECT_NE(good.out.find("file files/pack.bin: sha256 matches"), std::string::npos);
  EXPECT_NE(good.out.find("file files/golden.afi: sha256 matches"), std::string::npos);
  EXPECT_EQ(good.err, "") << "files read from a fresh pack carry nothing of one pack's own";

  std::ofstream(folder_.path() / "files/golden.afi", std::ios::app) << "\n";
  const CliRun changed = RunCli("station check " + recipe);
  EXPECT_EQ(changed.exit_code, 1);
  EXPECT_TRUE(changed.out.empty());
  EXPECT_NE(changed.err.find(recipe + ":8: files/golden.afi: the file's SHA-256 is"),
            std::string::npos)
      << changed.err;
  EXPECT_NE(changed.err.find("the recipe is refused (1 problems)"), std::string::npos);
}

TEST_F(StationCheckTest, WarnsOfEachValueAGoldenFileCarriesThatAFreshPackDoesNot) {
  // Both files read from a pack that has been given a cycle count and a date of its own.
  const std::string pack = "--device sim:clock=virtual:state=" + folder_.File("pack.json") + " ";
  for (const std::string& command :
       std::vector<std::string>{"df set 'Cycle Count' 23", "df set 'Manuf Date' 2024-1-2",
                                "df read-all -o " + folder_.File("files/golden.afi"),
                                "fw export " + folder_.File("files/pack.bin")}) {
    const CliRun run = RunCli(pack + command);
    ASSERT_EQ(run.exit_code, 0) << command << "\n" << run.err;
  }
  const CliRun check = RunCli("station check " + WriteRecipe());
  EXPECT_EQ(check.exit_code, 0) << "a warning, not a refusal: " << check.err;
  EXPECT_NE(check.out.find("the recipe and its files are ready to run"), std::string::npos);
  const std::string findings =
      " holds 2 values a fresh pack does not, and writes them into every pack:\n"
      "  Cycle Count (lifetime): 23, fresh 0\n"
      "  Manuf Date (date): 2024-1-2, fresh 1980-1-1\n";
  EXPECT_EQ(check.err,
            "warning: files/golden.afi" + findings + "warning: files/pack.bin" + findings);
}

TEST_F(StationCheckTest, RefusesAnUnknownKeyAtItsLineAndAMissingRecipe) {
  const CliRun unknown = RunCli("station check " + WriteRecipe("stride = 2\n"));
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_NE(unknown.err.find("line.toml:13: unknown key \"stride\" in [steps.serial]"),
            std::string::npos)
      << unknown.err;
  const CliRun missing = RunCli("station check " + folder_.File("none.toml"));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("none.toml: the recipe cannot be read"), std::string::npos);
  EXPECT_EQ(RunCli("station check").exit_code, 2);
}

class RecordsCliTest : public testing::Test {
 protected:
  void SetUp() override {
    auto store = production::OpenRecordsStore(records_, production::OpenMode::kCreate);
    ASSERT_TRUE(store);
    FillSampleRecords(**store);
  }

  // In Central European time, whatever the machine's zone.
  CliRun Records(const std::string& arguments) {
    return RunCli("records " + arguments + " --records " + records_,
                  "TZ=CET-1CEST,M3.5.0,M10.5.0/3");
  }

  ScratchFolder folder_;
  std::string records_ = folder_.File("records.sqlite");
};

TEST_F(RecordsCliTest, ListShowAndYieldReadTheRecords) {
  const CliRun list = Records("list");
  ASSERT_EQ(list.exit_code, 0) << list.err;
  EXPECT_EQ(LineCount(list.out), 4u);
  EXPECT_NE(list.out.find("2024-05-17 12:01:00 +02:00  line-1        A1                  1001  "
                          "fail         verify"),
            std::string::npos)
      << list.out;

  const auto failed = nlohmann::json::parse(Records("list --result fail --json").out);
  ASSERT_EQ(failed["runs"].size(), 1u);
  EXPECT_EQ(failed["runs"][0]["id"], 2);
  // A time as the list shows it bounds the runs the same way.
  EXPECT_EQ(LineCount(Records("list --since \"2024-05-17 12:01:00 +02:00\" --until "
                              "2024-05-17T10:02:00Z")
                          .out),
            2u);

  const CliRun show = Records("show 2");
  ASSERT_EQ(show.exit_code, 0);
  EXPECT_NE(show.out.find("failed step      verify"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("serial           1001 (Serial Number)"), std::string::npos);
  EXPECT_NE(show.out.find("device type      0x0714"), std::string::npos);
  EXPECT_NE(show.out.find("started          2024-05-17 12:01:00 +02:00"), std::string::npos);
  EXPECT_NE(show.out.find("  3  verify            2  fail"), std::string::npos);

  const CliRun yield = Records("yield");
  EXPECT_NE(yield.out.find("pack-line (aaaaaaaaaaaa) on line-1: 3 runs, 2 pass, 1 fail, yield "
                           "66.7 %\n  first pass: 2 of 3 packs, 66.7 %; "),
            std::string::npos)
      << yield.out;
  EXPECT_NE(yield.out.find("  failed at verify (mismatch): 1"), std::string::npos);
  EXPECT_EQ(Records("yield --station line-2").out, "no runs\n");
}

TEST_F(RecordsCliTest, ReportShowsEachStepOfAPackAsTextOrOnePage) {
  const CliRun text = Records("report 1001");
  ASSERT_EQ(text.exit_code, 0) << text.err;
  for (const char* part : {"Pack 1001\n", "Run 2 on line-1: fail", "Cause              mismatch",
                           "File               golden.afi  bbbb", "verify           2  fail    mismatch",
                           "differs: CUV Threshold: gauge 2600, golden 2500"}) {
    EXPECT_NE(text.out.find(part), std::string::npos) << part << "\n" << text.out;
  }
  EXPECT_EQ(Records("report run:2").out, text.out);
  ASSERT_EQ(Records("report 1001 --html " + folder_.File("1001.html")).exit_code, 0);
  const std::string page = ReadText(folder_.path() / "1001.html");
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>")) << page;
  EXPECT_NE(page.find("<tr class=\"failed\"><td>3</td><td>verify</td>"), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos) << "the page needs nothing from elsewhere";
  const CliRun none = Records("report 1500 --json");
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(nlohmann::json::parse(none.out)["error"]["kind"], "not_found");
  EXPECT_EQ(Records("report pack-7").exit_code, 2);
}

TEST_F(RecordsCliTest, ExportWritesCsvOrJson) {
  const CliRun csv = Records("export --csv");
  ASSERT_EQ(csv.exit_code, 0);
  EXPECT_EQ(LineCount(csv.out), 4u);
  ASSERT_EQ(Records("export --steps -o " + folder_.File("steps.csv")).exit_code, 0);
  EXPECT_EQ(LineCount(ReadText(folder_.path() / "steps.csv")), 8u);
  const auto json = nlohmann::json::parse(Records("export --json --since 2024-05-17").out);
  EXPECT_EQ(json["runs"].size(), 3u);
  EXPECT_EQ(json["runs"][2]["steps"].size(), 2u);
  EXPECT_EQ(Records("export --csv --json").exit_code, 2);
}

TEST_F(RecordsCliTest, RefusalsSayWhyAndMakeNothing) {
  const CliRun none = RunCli("records list --records " + folder_.File("none.sqlite"));
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find("no records at"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "none.sqlite"));

  const CliRun home = RunCli("records list", "-u XDG_DATA_HOME HOME=" + folder_.path().string());
  EXPECT_EQ(home.exit_code, 1);
  EXPECT_NE(home.err.find(folder_.File(".local/share/cellwarden/records.sqlite")),
            std::string::npos)
      << home.err;

  EXPECT_EQ(Records("list --since soon").exit_code, 2);
  EXPECT_EQ(Records("list --result maybe").exit_code, 2);
  const CliRun missing = Records("show 9 --json");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(nlohmann::json::parse(missing.out)["error"]["kind"], "not_found");
}

}  // namespace
}  // namespace cw::test
