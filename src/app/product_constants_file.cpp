#include "app/product_constants_file.h"

#include <SimpleIni.h>
#include <fmt/format.h>

#include <cstdlib>

#include "common/bytes.h"
#include "common/file_input.h"

namespace cw::app {
namespace {

constexpr const char* kSection = "Constants";
// A handful of keys; anything near this size is not a constants file.
constexpr std::size_t kMaxConstantsFileSize = 64 * 1024;

}  // namespace

std::expected<common::ProductConstants, std::string> LoadProductConstantsFile(
    const std::filesystem::path& file, common::ProductConstants defaults) {
  const auto bytes = common::ReadRegularFile(file, kMaxConstantsFileSize);
  if (!bytes) return std::unexpected(common::DescribeFileError(bytes.error()));
  CSimpleIniA ini(/*isUtf8=*/true);
  if (ini.LoadData(reinterpret_cast<const char*>(bytes->data()), bytes->size()) < 0) {
    return std::unexpected(fmt::format("{}: cannot be read", file.string()));
  }
  common::ProductConstants constants = std::move(defaults);
  auto bad = [&](const char* key) {
    return std::unexpected(fmt::format("{}: [{}] {} is not valid", file.string(), kSection, key));
  };
  auto read_byte = [&](const char* key, std::uint8_t& target) -> bool {
    const char* text = ini.GetValue(kSection, key, nullptr);
    if (!text) return true;
    const auto value = common::ParseHexNumber(text, 0xFF);
    if (!value) return false;
    target = static_cast<std::uint8_t>(*value);
    return true;
  };
  if (!read_byte("RecordMask", constants.record_mask)) return bad("RecordMask");
  if (!read_byte("ReadBackMask", constants.read_back_mask)) return bad("ReadBackMask");
  if (const char* text = ini.GetValue(kSection, "AdapterVendorId", nullptr)) {
    const auto value = common::ParseHexNumber(text, 0xFFFF);
    if (!value) return bad("AdapterVendorId");
    constants.adapter_vendor_id = static_cast<std::uint16_t>(*value);
  }
  if (const char* text = ini.GetValue(kSection, "ProgrammingStub", nullptr)) {
    const auto bytes = common::ParseHexByteList(text);
    if (!bytes || bytes->size() != constants.programming_stub.size()) {
      return bad("ProgrammingStub");
    }
    std::copy(bytes->begin(), bytes->end(), constants.programming_stub.begin());
  }
  if (const char* text = ini.GetValue(kSection, "PipeInterfaceId", nullptr)) {
    if (*text == '\0') return bad("PipeInterfaceId");
    constants.pipe_interface_id = text;
  }
  return constants;
}

std::vector<std::filesystem::path> ProductConstantsSearchPath(
    const std::filesystem::path& program_directory) {
  std::vector<std::filesystem::path> paths;
  paths.push_back(program_directory / kConstantsFileName);
  if (const char* config_home = std::getenv("XDG_CONFIG_HOME"); config_home && *config_home) {
    paths.push_back(std::filesystem::path(config_home) / "cellwarden" / kConstantsFileName);
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    paths.push_back(std::filesystem::path(home) / ".config" / "cellwarden" / kConstantsFileName);
  }
  return paths;
}

std::expected<common::ProductConstants, std::string> LoadProductConstants(
    const std::filesystem::path& program_directory) {
  for (const auto& path : ProductConstantsSearchPath(program_directory)) {
    // Something else under the name (a folder, a pipe) is refused by the reader with its reason
    // rather than passed over for the next file.
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
      return LoadProductConstantsFile(path);
    }
  }
  return common::ProductConstants{};
}

}  // namespace cw::app
