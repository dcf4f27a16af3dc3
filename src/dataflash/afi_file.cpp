#include "dataflash/afi_file.h"

#include <SimpleIni.h>
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <system_error>

#include "common/text.h"
#include "dataflash/algorithm_transform.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"

namespace cw::dataflash {
namespace {

constexpr std::string_view kAfiExtension = ".afi";
// Bytes 1 to 30 of each of 0x58-0x5B are copied into the padding of 0x5C-0x5F.
constexpr std::size_t kCopyFirst = 1;
constexpr std::size_t kCopyLast = 30;
constexpr std::size_t kCopySources = 4;
constexpr std::size_t kFirstCopySourceRow = 32;  // 0x58
constexpr std::size_t kFirstCopyTargetRow = 36;  // 0x5C

std::string KeyName(std::size_t number) { return fmt::format("{}{}", kAlgorithmKeyPrefix, number); }

const std::string& Section() {
  static const std::string section(kAfiSection);
  return section;
}

// Reads a "%u" value as the profile functions' callers did: leading digits, empty or garbage as
// 0, larger numbers cut to 32 bits.
std::uint32_t ParseUnsigned(const std::string& text) {
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  return static_cast<std::uint32_t>(value);
}

}  // namespace

AlgorithmKey AlgorithmKeyAt(std::size_t number) {
  std::size_t remaining = number;
  for (std::size_t i = kPageSetCount; i < kSubclassCount; ++i) {
    const SubclassEntry entry = EntryAt(i);
    const std::size_t keys = (entry.length + 3) / 4;
    if (remaining < keys) {
      return {number, entry.image_offset() - kAlgorithmAreaStart + remaining * 4};
    }
    remaining -= keys;
  }
  return {number, kAlgorithmAreaSize};
}

struct AfiReader::Ini {
  CSimpleIniA ini{false, false, false};
};

AfiReader::AfiReader(std::unique_ptr<Ini> ini) : ini_(std::move(ini)) {}
AfiReader::~AfiReader() = default;
AfiReader::AfiReader(AfiReader&&) noexcept = default;
AfiReader& AfiReader::operator=(AfiReader&&) noexcept = default;

std::optional<AfiReader> AfiReader::Open(const std::filesystem::path& path) {
  auto ini = std::make_unique<Ini>();
  if (ini->ini.LoadFile(path.c_str()) < 0) return std::nullopt;
  return AfiReader(std::move(ini));
}

std::optional<AfiReader> AfiReader::FromText(std::string_view text) {
  auto ini = std::make_unique<Ini>();
  if (ini->ini.LoadData(text.data(), text.size()) < 0) return std::nullopt;
  return AfiReader(std::move(ini));
}

std::string AfiReader::Value(std::string_view key) const {
  const char* value = ini_->ini.GetValue(Section().c_str(), std::string(key).c_str(), "");
  std::string text = value != nullptr ? value : "";
  if (text.size() > kMaxValueText) text.resize(kMaxValueText);
  return text;
}

AlgorithmArea AfiReader::AlgorithmData() const {
  AlgorithmArea area{};
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    const AlgorithmKey key = AlgorithmKeyAt(number);
    const std::uint32_t value = ParseUnsigned(Value(KeyName(number)));
    for (std::size_t i = 0; i < 4 && key.area_offset + i < area.size(); ++i) {
      area[key.area_offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
  }
  return area;
}

struct AfiWriter::Ini {
  CSimpleIniA ini{false, false, false};
};

AfiWriter::AfiWriter() : ini_(std::make_unique<Ini>()) {}
AfiWriter::~AfiWriter() = default;

void AfiWriter::Set(std::string_view key, std::string_view value) {
  ini_->ini.SetValue(Section().c_str(), std::string(key).c_str(),
                     std::string(value.substr(0, kMaxValueText)).c_str());
}

void AfiWriter::SetAlgorithmData(const AlgorithmArea& area) {
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    const AlgorithmKey key = AlgorithmKeyAt(number);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | area[key.area_offset + i];
    Set(KeyName(number), fmt::format("{}", value));
  }
}

std::optional<std::string> AfiWriter::Save(const std::filesystem::path& path) const {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  if (ini_->ini.SaveFile(temporary.c_str(), false) < 0) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return "cannot write " + temporary.string();
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return "cannot write " + path.string() + ": " + error.message();
  }
  return {};
}

std::filesystem::path AfiSavePath(const std::filesystem::path& chosen) {
  if (common::EndsWithIgnoringCase(chosen.filename().string(), kAfiExtension)) return chosen;
  std::filesystem::path with_extension = chosen;
  with_extension += kAfiExtension;
  return with_extension;
}

AfiImage AfiImageFrom(const AfiReader& reader, bool stored_form) {
  AfiImage result;
  for (const ParamDef& row : kParams) {
    ParamValue value{-1, reader.Value(row.name)};
    std::array<std::uint8_t, kMaxFieldSize> encoded{};
    const std::uint8_t size = EncodeParam(row, value, encoded, false, nullptr);
    if (size == kEncodeFailed) continue;
    const auto entry = FindPageSubclass(row.subclass);
    if (!entry) continue;
    std::copy_n(
        encoded.begin(), size,
        result.image.begin() + static_cast<std::ptrdiff_t>(entry->image_offset() + row.offset));
  }
  const AlgorithmArea stored = reader.AlgorithmData();
  if (stored_form) {
    result.algorithm = stored;
    return result;
  }
  AlgorithmArea plain = AlgorithmAreaToPlain(stored);
  for (std::size_t i = 0; i < kCopySources; ++i) {
    const std::size_t from = EntryAt(kFirstCopySourceRow + i).image_offset() - kAlgorithmAreaStart;
    const std::size_t to = EntryAt(kFirstCopyTargetRow + i).image_offset() - kAlgorithmAreaStart;
    std::copy(plain.begin() + static_cast<std::ptrdiff_t>(from + kCopyFirst),
              plain.begin() + static_cast<std::ptrdiff_t>(from + kCopyLast + 1),
              plain.begin() + static_cast<std::ptrdiff_t>(to + kCopyFirst));
  }
  result.algorithm = plain;
  return result;
}

std::expected<AfiImage, std::string> LoadAfiImage(const std::filesystem::path& path,
                                                  bool stored_form) {
  const auto reader = AfiReader::Open(path);
  if (!reader) return std::unexpected("cannot read " + path.string());
  return AfiImageFrom(*reader, stored_form);
}

}  // namespace cw::dataflash
