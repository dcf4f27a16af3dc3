// Recipes: what a good one holds once read, each mistake refused at its line, and files that
// must be exactly those the recipe holds a hash for.
#include "production/recipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "common/product_constants.h"
#include "common/sha256.h"
#include "production/prepared_recipe.h"
#include "records_fixture.h"

namespace cw::production {
namespace {

const std::string kHashA(64, 'a');

// Every step, every kind of value. Line numbers below count from the first line of this text.
std::string GoodRecipe(const std::string& afi_hash = kHashA) {
  return R"(name = "pack-line"

[gauge]
device_type = 0x0714
firmware_version = { min = 0x0100, max = 0x01FF }

[steps.firmware]
image = "files/pack.bin"
sha256 = ")" +
         kHashA + R"("
retries = 1

[steps.constants]
afi = "files/golden.afi"
sha256 = ")" +
         afi_hash + R"("

[steps.calibrate]
cells_mv = [3700, 3700, 3700, "ask"]
pack_mv = 14800
current_ma = -2000
temperatures_c = { ts1 = 25.0, ts2 = "ask" }
tolerance = { cell_mv = 5 }

[steps.serial]
start = 1000
end = 1999

[steps.date]
value = 2024-05-17

[steps.verify]
masks = ["calibration", "serial", "date", "lifetime"]

[steps.check]
limits = [ { register = "Voltage", min = 12000, max = 17000 } ]
clear = ["Safety Status", "PF Status"]

[steps.seal]
retries = 2
)";
}

TEST(RecipeTest, ReadsEveryStepOfAGoodRecipe) {
  const auto recipe = ParseRecipe(GoodRecipe(), "/line");
  ASSERT_TRUE(recipe) << recipe.error().front().line << ": " << recipe.error().front().text;
  EXPECT_EQ(recipe->name, "pack-line");
  EXPECT_EQ(recipe->gauge.device_type, 0x0714);
  EXPECT_EQ(recipe->gauge.firmware_max, 0x01FF);
  EXPECT_EQ(recipe->Steps().size(), kStepNames.size());
  EXPECT_EQ(recipe->firmware->file.resolved, "/line/files/pack.bin");
  EXPECT_EQ(recipe->firmware->file.line, 8);
  EXPECT_EQ(recipe->firmware->retries, 1);
  EXPECT_FALSE(recipe->constants->script);
  EXPECT_EQ(recipe->calibrate->cells_mv.size(), 4u);
  EXPECT_TRUE(recipe->calibrate->cells_mv[3].asked());
  EXPECT_TRUE(recipe->calibrate->temperatures_c[1]->asked());
  EXPECT_EQ(recipe->calibrate->temperatures_c[0]->value, 25.0);
  EXPECT_EQ(recipe->calibrate->tolerance.cell_mv, 5);
  EXPECT_EQ(recipe->serial->parameter, "Serial Number");
  EXPECT_EQ(recipe->serial->step, 1);
  EXPECT_EQ(recipe->date->date, (CalendarDate{2024, 5, 17}));
  EXPECT_EQ(recipe->verify->masks.size(), 4u);
  EXPECT_EQ(recipe->check->limits.at(0).maximum, 17000);
  EXPECT_EQ(recipe->seal->retries, 2);
  EXPECT_EQ(recipe->Files().size(), 2u);
}

// `from` in the good recipe replaced by `to`: the problem reported and its line.
struct Mistake {
  std::string from;
  std::string to;
  int line;
  std::string says;
};

TEST(RecipeTest, RefusesEachMistakeAtItsLine) {
  const std::vector<Mistake> mistakes = {
      {"[steps.seal]\n", "[steps.seal]\nforce = true\n", 38,
       "unknown key \"force\" in [steps.seal]"},
      {"[steps.seal]", "[steps.polish]", 37, "unknown step \"polish\""},
      {"name = \"pack-line\"", "name = \"pack-line\"\ncolour = 3", 2, "unknown key \"colour\""},
      {"retries = 1", "retries = 11", 10, "\"retries\" in [steps.firmware] must be"},
      {"end = 1999", "end = 999", 23, "the serial range is empty"},
      {"end = 1999", "end = 70000", 23, "does not fit \"Serial Number\""},
      {"start = 1000", "start = 1000\nparameter = \"Colour\"", 23,
       "\"Colour\" is not a data flash"},
      {"value = 2024-05-17", "value = \"2024-13-01\"", 27, "no date a gauge can hold"},
      {"\"date\", \"lifetime\"", "\"date\", \"age\"", 31, "unknown mask \"age\""},
      {"register = \"Voltage\"", "register = \"Volts\"", 34, "\"Volts\" is not an SBS register"},
      {"min = 12000, max = 17000", "min = 17000, max = 12000", 34,
       "limits of \"Voltage\" are empty"},
      {"pack_mv = 14800", "pack_mv = \"lots\"", 18, "\"pack_mv\" in [steps.calibrate] must be"},
      {"current_ma = -2000", "current_ma = 2000", 16, "must be a discharge"},
      {"sha256 = \"" + kHashA + "\"\nretries", "sha256 = \"abc\"\nretries", 9, "64 hex digits"},
      {"image = \"files/pack.bin\"", "image = \"files/pack.bin\"\nscript = \"a.fs\"", 7,
       "takes either \"image\" or \"script\""},
      {"[gauge]\ndevice_type = 0x0714", "[gauge]", 3, "[gauge] needs \"device_type\""},
      {"device_type = 0x0714", "device_type = 0x10000", 4, "from 0 to 0xFFFF"},
      {"retries = 2", "retries = \"two\"", 38, "\"retries\" in [steps.seal] must be"},
      {"[steps.firmware]", "[steps.firmware", 7, "not TOML"},
  };
  for (const Mistake& mistake : mistakes) {
    std::string text = GoodRecipe();
    const std::size_t at = text.find(mistake.from);
    ASSERT_NE(at, std::string::npos) << mistake.from;
    text.replace(at, mistake.from.size(), mistake.to);
    const auto recipe = ParseRecipe(text, "/line");
    ASSERT_FALSE(recipe) << mistake.to;
    const auto& problems = recipe.error();
    const bool found = std::ranges::any_of(problems, [&](const RecipeProblem& problem) {
      return problem.line == mistake.line && problem.text.find(mistake.says) != std::string::npos;
    });
    std::string all;
    for (const auto& problem : problems)
      all += std::to_string(problem.line) + ": " + problem.text + "\n";
    EXPECT_TRUE(found) << mistake.to << " gave\n" << all;
  }
}

TEST(RecipeTest, RefusesStepsWrittenOutOfRunningOrder) {
  const auto recipe = ParseRecipe(
      "[gauge]\ndevice_type = 1\n[steps.seal]\n[steps.serial]\nstart = 1\nend = 9\n", "/");
  ASSERT_FALSE(recipe);
  EXPECT_EQ(recipe.error().front().line, 3);
  EXPECT_NE(recipe.error().front().text.find("must come after"), std::string::npos);
}

TEST(RecipeTest, Sha256IsTheOneSha256sumPrints) {
  const std::string abc = "abc";
  EXPECT_EQ(
      common::Sha256Hex(common::ByteView(reinterpret_cast<const std::uint8_t*>(abc.data()), 3)),
      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

void WriteText(const std::filesystem::path& path, std::string_view text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(RecipeTest, AFileThatChangedOrIsMissingRefusesTheRecipeAndIsNamed) {
  test::ScratchFolder folder;
  WriteText(folder.path() / "files/golden.afi", "[FlashData]\nCUV Threshold = 2500\n");
  WriteText(folder.path() / "line.toml", GoodRecipe());
  auto recipe = LoadRecipe(folder.path() / "line.toml");
  ASSERT_TRUE(recipe);
  const std::string text = GoodRecipe();
  EXPECT_EQ(recipe->sha256, common::Sha256Hex(common::ByteView(
                                reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
  const auto prepared = PrepareRecipe(*recipe, common::ProductConstants{});
  ASSERT_FALSE(prepared);
  const auto& problems = prepared.error();
  ASSERT_EQ(problems.size(), 2u);
  // files/pack.bin does not exist; files/golden.afi is not the file the recipe was made with.
  EXPECT_EQ(problems[0].line, 8);
  EXPECT_NE(problems[0].text.find("files/pack.bin"), std::string::npos);
  EXPECT_EQ(problems[1].line, 13);
  EXPECT_NE(problems[1].text.find("files/golden.afi: the file's SHA-256 is"), std::string::npos);
  EXPECT_NE(problems[1].text.find("the recipe holds " + kHashA), std::string::npos);
}

TEST(RecipeTest, AScriptIsCheckedLineByLineBeforeItIsTaken) {
  test::ScratchFolder folder;
  const std::string script = "; golden constants\nW: 16 77 zz\n";
  WriteText(folder.path() / "golden.fs", script);
  const auto hash = common::Sha256Hex(
      common::ByteView(reinterpret_cast<const std::uint8_t*>(script.data()), script.size()));
  WriteText(folder.path() / "line.toml",
            "[gauge]\ndevice_type = 1\n[steps.constants]\n"
            "script = \"golden.fs\"\nsha256 = \"" +
                *hash + "\"\n");
  auto recipe = LoadRecipe(folder.path() / "line.toml");
  ASSERT_TRUE(recipe);
  const auto prepared = PrepareRecipe(*recipe, common::ProductConstants{});
  ASSERT_FALSE(prepared);
  EXPECT_EQ(prepared.error().front().line, 4);
  EXPECT_TRUE(prepared.error().front().text.starts_with("golden.fs: line 2: "))
      << prepared.error().front().text;
}

}  // namespace
}  // namespace cw::production
