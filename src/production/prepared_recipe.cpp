#include "production/prepared_recipe.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

#include "common/file_input.h"
#include "common/sha256.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/fs_script_reader.h"
#include "firmware/image_check.h"
#include "production/handoff.h"
#include "production/messages.h"

namespace cw::production {
namespace {

enum class FileKind { kImage, kScript, kAfi, kLabel };

// A label for a printer is a page of text, never more.
constexpr std::size_t kMaxLabelFileSize = std::size_t{1} << 16;

std::size_t MaxSize(FileKind kind) {
  switch (kind) {
    case FileKind::kImage:
      return firmware::kMaxImageFileSize;
    case FileKind::kScript:
      return firmware::kMaxFsScriptFileSize;
    case FileKind::kAfi:
      return dataflash::kMaxAfiFileSize;
    case FileKind::kLabel:
      return kMaxLabelFileSize;
  }
  return 0;
}

class FileChecker {
 public:
  FileChecker(const common::ProductConstants& constants, RecipeProblems& problems)
      : constants_(constants), problems_(problems) {}

  // The file's bytes when they are what the recipe holds a hash for; nothing otherwise.
  std::optional<common::Bytes> Read(const RecipeFile& file, FileKind kind) {
    auto bytes = common::ReadRegularFile(file.resolved, MaxSize(kind));
    if (!bytes) {
      Problem(file, messages::kFileUnreadable, common::DescribeFileError(bytes.error()));
      return std::nullopt;
    }
    const auto hash = common::Sha256Hex(*bytes);
    if (!hash) {
      Problem(file, messages::kFileUnreadable, messages::kNoSha256);
      return std::nullopt;
    }
    if (*hash != file.sha256) {
      Problem(file,
              "{}: the file's SHA-256 is {}, the recipe holds {}: the file changed since the "
              "recipe was made",
              *hash, file.sha256);
      return std::nullopt;
    }
    return std::move(*bytes);
  }

  bool CheckImage(const RecipeFile& file, const common::Bytes& bytes) {
    if (firmware::CheckUpdateImageSize(bytes.size())) {
      Problem(file, messages::kImageSize, bytes.size());
      return false;
    }
    if (const auto fault = firmware::CheckImageRecords(bytes, constants_.record_mask)) {
      Problem(file, "{}: not a firmware image the gauge takes: {}", *fault);
      return false;
    }
    return true;
  }

  bool CheckScript(const RecipeFile& file, const common::Bytes& bytes) {
    const firmware::FsCheckReport report = firmware::CheckFsScript(bytes);
    for (const firmware::FsProblem& problem : report.problems) {
      if (problem.line > 0) {
        Problem(file, "{}: line {}: {}", problem.line, problem.text);
      } else {
        Problem(file, "{}: not an FS script: {}", problem.text);
      }
    }
    if (report.more_problems > 0) {
      Problem(file, "{}: {} more problems", report.more_problems);
    }
    return report.problems.empty();
  }

  // The template as text when it holds no NUL byte and only fields a label takes.
  std::optional<std::string> ReadLabel(const RecipeFile& file, const common::Bytes& bytes) {
    std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.find('\0') != std::string::npos) {
      Problem(file, "{}: not a text a label template can be");
      return std::nullopt;
    }
    const std::vector<std::string> unknown = UnknownLabelFields(text);
    for (const std::string& name : unknown) {
      Problem(file, "{}: unknown field {{{}}}; a label takes {}", name,
              fmt::format("{{{}}}", fmt::join(kLabelFields, "}, {")));
    }
    if (!unknown.empty()) return std::nullopt;
    return text;
  }

  std::optional<dataflash::AfiValues> ReadAfi(const RecipeFile& file, const common::Bytes& bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto reader = dataflash::AfiReader::FromText(text);
    if (!reader) {
      Problem(file, messages::kGoldenNotAfi, reader.error());
      return std::nullopt;
    }
    dataflash::AfiValues values = dataflash::ReadAfiValues(*reader);
    bool usable = true;
    for (const auto& refusal :
         {dataflash::InvalidAfiMessage(values), dataflash::IncompleteAfiMessage(values)}) {
      if (!refusal) continue;
      Problem(file, messages::kGoldenNotAfi, *refusal);
      usable = false;
    }
    if (!usable) return std::nullopt;
    return values;
  }

 private:
  template <typename... Args>
  void Problem(const RecipeFile& file, std::string_view text, const Args&... args) {
    problems_.push_back({file.line, fmt::format(fmt::runtime(text), file.path.string(), args...)});
  }

  const common::ProductConstants& constants_;
  RecipeProblems& problems_;
};

}  // namespace

std::expected<PreparedRecipe, RecipeProblems> PrepareRecipe(
    Recipe recipe, const common::ProductConstants& constants) {
  PreparedRecipe prepared;
  RecipeProblems problems;
  FileChecker checker(constants, problems);
  std::optional<dataflash::AfiValues> constants_values;
  if (recipe.firmware) {
    const RecipeFile& file = recipe.firmware->file;
    const FileKind kind = recipe.firmware->script ? FileKind::kScript : FileKind::kImage;
    if (auto bytes = checker.Read(file, kind)) {
      const bool usable = recipe.firmware->script ? checker.CheckScript(file, *bytes)
                                                  : checker.CheckImage(file, *bytes);
      if (usable) prepared.firmware = std::move(*bytes);
    }
  }
  if (recipe.constants) {
    const RecipeFile& file = recipe.constants->file;
    const bool script = recipe.constants->script;
    if (auto bytes = checker.Read(file, script ? FileKind::kScript : FileKind::kAfi)) {
      if (script ? checker.CheckScript(file, *bytes)
                 : (constants_values = checker.ReadAfi(file, *bytes)).has_value()) {
        prepared.constants = std::move(*bytes);
      }
    }
  }
  if (recipe.verify) {
    if (recipe.verify->golden) {
      const RecipeFile& file = *recipe.verify->golden;
      if (auto bytes = checker.Read(file, FileKind::kAfi))
        prepared.golden = checker.ReadAfi(file, *bytes);
    } else {
      prepared.golden = constants_values;
    }
  }
  if (recipe.handoff && recipe.handoff->label) {
    const RecipeFile& file = *recipe.handoff->label;
    if (auto bytes = checker.Read(file, FileKind::kLabel)) {
      prepared.label_template = checker.ReadLabel(file, *bytes).value_or("");
    }
  }
  if (!problems.empty()) {
    std::ranges::stable_sort(problems, {}, &RecipeProblem::line);
    return std::unexpected(std::move(problems));
  }
  prepared.recipe = std::move(recipe);
  return prepared;
}

RecipeReading LoadPreparedRecipe(const std::filesystem::path& path,
                                 const common::ProductConstants& constants) {
  auto recipe = LoadRecipe(path);
  if (!recipe) return std::unexpected(RecipeRefusal{std::nullopt, std::move(recipe.error())});
  auto prepared = PrepareRecipe(*recipe, constants);
  if (!prepared)
    return std::unexpected(RecipeRefusal{std::move(*recipe), std::move(prepared.error())});
  return std::make_shared<const PreparedRecipe>(std::move(*prepared));
}

}  // namespace cw::production
