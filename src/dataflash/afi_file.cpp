#include "dataflash/afi_file.h"

#include <SimpleIni.h>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "common/file_input.h"
#include "common/file_output.h"
#include "common/parse.h"
#include "common/text.h"
#include "dataflash/algorithm_transform.h"
#include "dataflash/messages.h"
#include "dataflash/param_codec.h"

namespace cw::dataflash {
namespace {

constexpr std::string_view kAfiExtension = ".afi";
// Bytes 1 to 30 of each of 0x58-0x5B are copied into the padding of 0x5C-0x5F.
constexpr std::size_t kCopyFirst = 1;
constexpr std::size_t kCopyLast = 30;
constexpr std::size_t kCopySources = 4;
constexpr std::size_t kFirstCopySourceRow = 32;  // 0x58
constexpr std::size_t kFirstCopyTargetRow = 36;  // 0x5C
constexpr std::size_t kAlgorithmKeyBytes = 4;
// Names a message lists before it only counts the rest.
constexpr std::size_t kNamesShown = 5;

const std::string& Section() {
  static const std::string section(kAfiSection);
  return section;
}

// An AlgorithmData value: the whole text a decimal number of 32 bits.
std::optional<std::uint32_t> ParseAlgorithmValue(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  std::ranges::transform(lower, lower.begin(), common::LowerAscii);
  return lower;
}

// A key as the file's keys are matched: without regard to case or the blanks inside it, so that
// "Sleep Current", "sleep current" and "SleepCurrent" name one parameter (no two names differ
// only by blanks).
std::string KeyOf(std::string_view key) {
  std::string folded = LowerCase(key);
  std::erase_if(folded, [](char c) { return c == ' ' || c == '\t'; });
  return folded;
}

// Every parameter name as KeyOf gives it, folded once.
const std::set<std::string, std::less<>>& ParamKeys() {
  static const std::set<std::string, std::less<>> keys = [] {
    std::set<std::string, std::less<>> folded;
    for (const ParamDef& row : kParams) folded.insert(KeyOf(row.name));
    return folded;
  }();
  return keys;
}

bool IsKnownKey(std::string_view key) {
  if (ParamKeys().contains(KeyOf(key))) return true;
  if (key.size() <= kAlgorithmKeyPrefix.size() ||
      !common::EqualsIgnoringCase(key.substr(0, kAlgorithmKeyPrefix.size()), kAlgorithmKeyPrefix)) {
    return false;
  }
  const auto number = ParseAlgorithmValue(key.substr(kAlgorithmKeyPrefix.size()));
  return number && *number < kAlgorithmKeyCount;
}

// Where each key of the "FlashData" section stands, by KeyOf its name, for messages: the
// profile reader gives values only. Lines are read as it reads them: comments, sections, keys
// before the first "=".
std::map<std::string, std::vector<std::size_t>> KeyLines(std::string_view text) {
  std::map<std::string, std::vector<std::size_t>> lines;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  bool in_section = false;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = common::TrimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close != std::string_view::npos) {
        in_section =
            common::EqualsIgnoringCase(common::TrimBlanks(line.substr(1, close - 1)), kAfiSection);
      }
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!in_section || equals == std::string_view::npos) continue;
    const std::string_view key = common::TrimBlanks(line.substr(0, equals));
    if (!key.empty()) lines[KeyOf(key)].push_back(number);
  }
  return lines;
}

// One key of the file: its whole value and where it stands.
struct KeyReading {
  std::optional<std::string> whole;
  std::string at;  // "key = value (line N)"
};

// A key given more than once is added to `repeated`, with its lines.
KeyReading ReadKey(const AfiReader& reader, std::string_view key,
                   std::vector<std::string>& repeated) {
  KeyReading reading{reader.FindWhole(key), {}};
  if (!reading.whole) return reading;
  const std::vector<std::size_t> lines = reader.Lines(key);
  const std::string shown = reading.whole->substr(0, kMaxValueText);
  reading.at = lines.empty() ? fmt::format("{} = {}", key, shown)
                             : fmt::format("{} = {} (line {})", key, shown, lines.back());
  if (lines.size() > 1) {
    repeated.push_back(fmt::format("{} (lines {})", key, fmt::join(lines, ", ")));
  }
  return reading;
}

std::string AllNames(const std::vector<std::string>& names) {
  return fmt::format("{}", fmt::join(names, ", "));
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

std::string AlgorithmKeyName(std::size_t number) {
  return fmt::format("{}{}", kAlgorithmKeyPrefix, number);
}

std::uint32_t AlgorithmWord(const AlgorithmArea& area, std::size_t number) {
  const std::size_t from = AlgorithmKeyAt(number).area_offset;
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < kAlgorithmKeyBytes; ++i) {
    const std::size_t at = from + i;
    word = word << 8 | (at < area.size() ? area[at] : 0u);
  }
  return word;
}

struct AfiReader::Ini {
  CSimpleIniA ini{false, false, false};
  std::map<std::string, std::vector<std::size_t>> lines;
  // The section's keys by KeyOf, each the first of its spelling in file order: a lookup with
  // other blanks than the file's stays one search, however many keys the file holds.
  std::map<std::string, const char*, std::less<>> folded_keys;
};

AfiReader::AfiReader(std::unique_ptr<Ini> ini) : ini_(std::move(ini)) {}
AfiReader::~AfiReader() = default;
AfiReader::AfiReader(AfiReader&&) noexcept = default;
AfiReader& AfiReader::operator=(AfiReader&&) noexcept = default;

std::expected<AfiReader, AfiOpenError> AfiReader::Open(const std::filesystem::path& path) {
  const auto bytes = common::ReadRegularFile(path, kMaxAfiFileSize);
  if (!bytes) {
    return std::unexpected(AfiOpenError{bytes.error().problem == common::FileProblem::kMissing,
                                        common::DescribeFileError(bytes.error())});
  }
  auto reader =
      FromText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!reader) {
    return std::unexpected(AfiOpenError{
        false, fmt::format(messages::kNotAConstantsFile, path.string(), reader.error())});
  }
  return std::move(*reader);
}

std::expected<AfiReader, std::string> AfiReader::FromText(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) {
    return std::unexpected(std::string(messages::kHoldsNul));
  }
  const std::string refusal(messages::kNoFlashDataKeys);
  auto ini = std::make_unique<Ini>();
  if (ini->ini.LoadData(text.data(), text.size()) < 0) return std::unexpected(refusal);
  CSimpleIniA::TNamesDepend keys;
  if (!ini->ini.GetAllKeys(Section().c_str(), keys) ||
      std::ranges::none_of(keys, [](const CSimpleIniA::Entry& key) {
        return key.pItem != nullptr && IsKnownKey(key.pItem);
      })) {
    return std::unexpected(refusal);
  }
  keys.sort(CSimpleIniA::Entry::LoadOrder());
  for (const CSimpleIniA::Entry& entry : keys) {
    if (entry.pItem != nullptr) ini->folded_keys.try_emplace(KeyOf(entry.pItem), entry.pItem);
  }
  ini->lines = KeyLines(text);
  return AfiReader(std::move(ini));
}

std::optional<std::string> AfiReader::Find(std::string_view key) const {
  auto text = FindWhole(key);
  if (text && text->size() > kMaxValueText) text->resize(kMaxValueText);
  return text;
}

std::optional<std::string> AfiReader::FindWhole(std::string_view key) const {
  const char* value = ini_->ini.GetValue(Section().c_str(), std::string(key).c_str(), nullptr);
  if (value != nullptr) return std::string(value);
  // The key written with other blanks than the parameter's name.
  const auto found = ini_->folded_keys.find(KeyOf(key));
  if (found == ini_->folded_keys.end()) return std::nullopt;
  return std::string(ini_->ini.GetValue(Section().c_str(), found->second, ""));
}

std::vector<std::size_t> AfiReader::Lines(std::string_view key) const {
  const auto found = ini_->lines.find(KeyOf(key));
  return found == ini_->lines.end() ? std::vector<std::size_t>{} : found->second;
}

AfiValues ReadAfiValues(const AfiReader& reader) {
  AfiValues values;
  std::vector<std::string> taken_as;
  std::vector<std::string> repeated;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    const ParamDef& def = kParams[row];
    const KeyReading key = ReadKey(reader, def.name, repeated);
    if (!key.whole) {
      values.missing.emplace_back(def.name);
      continue;
    }
    values.rows[row] = key.whole->substr(0, kMaxValueText);
    // Judged whole: the row keeps 32 characters, and a number longer than that is refused
    // rather than read from what the cut leaves.
    const auto encoded = EncodeParam(def, *key.whole, ValueSource::kFile);
    if (!encoded) {
      values.invalid.push_back(key.at);
    } else if (encoded->stored_as == StoredAs::kOtherValue) {
      ParamValue stored;
      DecodeParam(def, encoded->bytes(), stored);
      taken_as.push_back(fmt::format("{} as {}", key.at, stored.text));
    } else if (encoded->stored_as == StoredAs::kNoCalendarDate) {
      values.warnings.push_back(fmt::format(messages::kNoCalendarDate, key.at));
    }
  }
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    const std::string name = AlgorithmKeyName(number);
    const KeyReading key = ReadKey(reader, name, repeated);
    if (!key.whole) {
      values.missing.push_back(name);
      continue;
    }
    values.algorithm_texts[number] = key.whole->substr(0, kMaxValueText);
    const auto value = ParseAlgorithmValue(*key.whole);
    if (!value) {
      values.invalid.push_back(key.at);
      continue;
    }
    values.algorithm_present[number] = true;
    const AlgorithmKey place = AlgorithmKeyAt(number);
    for (std::size_t i = 0;
         i < kAlgorithmKeyBytes && place.area_offset + i < values.algorithm.size(); ++i) {
      values.algorithm[place.area_offset + i] = static_cast<std::uint8_t>(*value >> (24 - 8 * i));
    }
  }
  if (!taken_as.empty()) {
    values.warnings.push_back(
        fmt::format("Values in the constants file taken as other values ({}): {}.", taken_as.size(),
                    AllNames(taken_as)));
  }
  if (!repeated.empty()) {
    values.warnings.push_back(
        fmt::format("Keys given more than once in the constants file ({}): {}; the last value of "
                    "each is taken.",
                    repeated.size(), AllNames(repeated)));
  }
  return values;
}

std::string FirstNames(const std::vector<std::string>& names) {
  std::string shown;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i > 0) shown += ", ";
    shown += names[i];
  }
  if (names.size() <= kNamesShown) return shown;
  return fmt::format("{} and {} more", shown, names.size() - kNamesShown);
}

std::optional<std::string> IncompleteAfiMessage(const AfiValues& values) {
  if (values.missing.empty()) return std::nullopt;
  return fmt::format("Keys missing from the constants file ({}): {}. Nothing was written.",
                     values.missing.size(), FirstNames(values.missing));
}

std::optional<std::string> InvalidAfiMessage(const AfiValues& values) {
  if (values.invalid.empty()) return std::nullopt;
  return fmt::format(
      "Values in the constants file that no parameter takes ({}): {}. Nothing was written.",
      values.invalid.size(), FirstNames(values.invalid));
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
    Set(AlgorithmKeyName(number), fmt::format("{}", AlgorithmWord(area, number)));
  }
}

std::expected<void, common::FileError> AfiWriter::Save(const std::filesystem::path& path) const {
  std::string text;
  if (ini_->ini.Save(text, false) < 0) {
    return std::unexpected(
        common::FileError{common::FileProblem::kSystem, common::FileAccess::kWrite, path,
                          std::string("the constants could not be put in form")});
  }
  return common::WriteFileAtomically(path, text);
}

std::filesystem::path AfiSavePath(const std::filesystem::path& chosen) {
  if (common::EndsWithIgnoringCase(chosen.filename().string(), kAfiExtension)) return chosen;
  std::filesystem::path with_extension = chosen;
  with_extension += kAfiExtension;
  return with_extension;
}

AfiImage AfiImageFrom(const AfiValues& values, bool stored_form) {
  AfiImage result;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    if (!values.rows[row]) continue;
    const ParamDef& def = kParams[row];
    const auto encoded = EncodeParam(def, *values.rows[row], ValueSource::kFile);
    if (!encoded) continue;
    const auto entry = FindPageSubclass(def.subclass);
    if (!entry) continue;
    std::ranges::copy(
        encoded->bytes(),
        result.image.begin() + static_cast<std::ptrdiff_t>(entry->image_offset() + def.offset));
  }
  if (stored_form) {
    result.algorithm = values.algorithm;
    return result;
  }
  AlgorithmArea plain = AlgorithmAreaToPlain(values.algorithm);
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
  if (!reader) return std::unexpected(reader.error().message);
  const AfiValues values = ReadAfiValues(*reader);
  if (auto refusal = InvalidAfiMessage(values)) return std::unexpected(std::move(*refusal));
  if (auto refusal = IncompleteAfiMessage(values)) return std::unexpected(std::move(*refusal));
  AfiImage image = AfiImageFrom(values, stored_form);
  image.warnings = values.warnings;
  return image;
}

}  // namespace cw::dataflash
