#include "firmware/converters.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "firmware/constants_merge.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/fs_script.h"
#include "firmware/messages.h"

namespace cw::firmware {
namespace {

using common::MessageIcon;

std::filesystem::path Appended(const std::filesystem::path& path, std::string_view suffix) {
  std::filesystem::path result = path;
  result += std::string(suffix);
  return result;
}

// The bin file read whole and checked the way the window checks it: on choosing, then on
// Convert. Nothing (the message shown) when it is refused.
std::optional<common::Bytes> LoadBinForConvert(const std::filesystem::path& bin,
                                               common::MessageSink& messages) {
  if (bin.empty()) {
    messages.Show(messages::kPleaseLoadBinFirst);
    return std::nullopt;
  }
  auto bytes = ReadWholeFile(bin);
  if (!bytes) {
    messages.Show(fmt::format(fmt::runtime(messages::kCannotReadFile), bin.string()),
                  common::kDefaultCaption, MessageIcon::kError);
    return std::nullopt;
  }
  if (!BinSizeLargeEnough(bytes->size())) {
    messages.Show(messages::kBinFileError);
    return std::nullopt;
  }
  if (!BinSizeWholeRecords(bytes->size())) {
    messages.Show(messages::kBinFileSizeError);
    return std::nullopt;
  }
  return bytes;
}

std::optional<dataflash::AfiImage> LoadAfi(const std::filesystem::path& afi, bool stored_form,
                                           common::MessageSink& messages) {
  if (afi.empty()) {
    messages.Show(messages::kPleaseLoadAfi);
    return std::nullopt;
  }
  auto image = dataflash::LoadAfiImage(afi, stored_form);
  if (!image) {
    // A file that cannot be read would otherwise script a pack full of zeros.
    messages.Show(fmt::format(fmt::runtime(messages::kCannotReadFile), afi.string()),
                  common::kDefaultCaption, MessageIcon::kError);
    return std::nullopt;
  }
  return *image;
}

bool WriteOutput(const std::filesystem::path& path, std::string_view text, std::string_view success,
                 common::MessageSink& messages) {
  if (!WriteWholeFile(path, text)) {
    messages.Show(fmt::format(fmt::runtime(messages::kCannotCreateFile), path.string()),
                  common::kDefaultCaption, MessageIcon::kError);
    return false;
  }
  messages.Show(success);
  return true;
}

}  // namespace

bool AcceptChosenBin(const std::filesystem::path& bin, common::MessageSink& messages) {
  std::error_code error;
  const auto size = std::filesystem::file_size(bin, error);
  if (error || !BinSizeLargeEnough(size)) {
    messages.Show(messages::kBinFileError);
    return false;
  }
  return true;
}

std::filesystem::path AfiScriptPath(const std::filesystem::path& afi) {
  return Appended(afi, ".fs");
}
std::filesystem::path UpdateScriptPath(const std::filesystem::path& bin) {
  return Appended(bin, ".fs");
}
std::filesystem::path MergedScriptPath(const std::filesystem::path& bin) {
  return Appended(bin, ".AFIcombined.fs");
}

std::filesystem::path NewBinPath(const std::filesystem::path& bin) {
  std::string text = bin.string();
  constexpr std::string_view kExtension = ".bin";
  if (text.size() >= kExtension.size() &&
      std::equal(kExtension.begin(), kExtension.end(), text.end() - kExtension.size(),
                 [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
    text.resize(text.size() - kExtension.size());
  }
  return text + "_new.bin";
}

bool ConvertAfiToScript(const std::filesystem::path& afi, common::MessageSink& messages) {
  const auto image = LoadAfi(afi, /*stored_form=*/true, messages);
  if (!image) return false;
  return WriteOutput(AfiScriptPath(afi), AfiScript(FullFlashImage(*image)),
                     messages::kAfiScriptSuccess, messages);
}

bool ConvertBinToScript(const std::filesystem::path& bin, common::MessageSink& messages) {
  const auto bytes = LoadBinForConvert(bin, messages);
  if (!bytes) return false;
  return WriteOutput(UpdateScriptPath(bin), UpdateScript(*bytes), messages::kBinScriptSuccess,
                     messages);
}

namespace {

// The constants of `afi` merged into the image of `bin`, or nullopt after the message that
// says why not.
std::optional<common::Bytes> LoadAndMerge(const std::filesystem::path& afi,
                                          const std::filesystem::path& bin,
                                          const common::ProductConstants& constants,
                                          common::MessageSink& messages) {
  if (afi.empty()) {
    messages.Show(messages::kPleaseLoadAfi);
    return std::nullopt;
  }
  const auto bytes = LoadBinForConvert(bin, messages);
  if (!bytes) return std::nullopt;
  const auto plain = LoadAfi(afi, /*stored_form=*/false, messages);
  if (!plain) return std::nullopt;
  return MergeConstantsIntoImage(*bytes, *plain, constants);
}

}  // namespace

bool ConvertMergedToScript(const std::filesystem::path& afi, const std::filesystem::path& bin,
                           const common::ProductConstants& constants,
                           common::MessageSink& messages) {
  const auto merged = LoadAndMerge(afi, bin, constants, messages);
  if (!merged) return false;
  return WriteOutput(MergedScriptPath(bin), UpdateScript(*merged), messages::kMergedScriptSuccess,
                     messages);
}

bool ConvertNewBin(const std::filesystem::path& afi, const std::filesystem::path& bin,
                   const common::ProductConstants& constants, common::MessageSink& messages) {
  const auto merged = LoadAndMerge(afi, bin, constants, messages);
  if (!merged) return false;
  if (!WriteWholeFile(NewBinPath(bin), common::ByteView(*merged))) {
    messages.Show(messages::kOpenFileError, common::kDefaultCaption, MessageIcon::kError);
    return false;
  }
  messages.Show(messages::kNewBinSuccess);
  return true;
}

}  // namespace cw::firmware
