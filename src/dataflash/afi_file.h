#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_error.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"

// .afi files: one "FlashData" section with a key per parameter (its displayed value) and the
// algorithm area as "AlgorithmData%d" keys, each four stored bytes as one big-endian "%u".
// Read and written the way the Windows profile functions treat them: keys without regard to
// case, values cut at 32 characters.
namespace cw::dataflash {

inline constexpr std::string_view kAfiSection = "FlashData";
inline constexpr std::string_view kAlgorithmKeyPrefix = "AlgorithmData";
inline constexpr std::size_t kAlgorithmKeyCount = 159;
// A saved file is about 12 KiB; anything far larger is not one.
inline constexpr std::size_t kMaxAfiFileSize = std::size_t{1} << 20;

// One AlgorithmData key: where its four bytes lie in an algorithm area.
struct AlgorithmKey {
  std::size_t number;
  std::size_t area_offset;
};
// The key for `number` (0 to 158).
AlgorithmKey AlgorithmKeyAt(std::size_t number);
// "AlgorithmData12".
std::string AlgorithmKeyName(std::size_t number);
// The key's four bytes of `area` as the file writes them: one big-endian number.
std::uint32_t AlgorithmWord(const AlgorithmArea& area, std::size_t number);

// Why an .afi could not be opened, in a message for the user.
struct AfiOpenError {
  bool missing = false;  // nothing at the path: a file dialog never offers such a file
  std::string message;
};

// The "FlashData" section of an .afi loaded into memory.
class AfiReader {
 public:
  // The file read whole: a folder, a device or a file past kMaxAfiFileSize is refused before it
  // is parsed, and so is text that is no constants file (see FromText).
  static std::expected<AfiReader, AfiOpenError> Open(const std::filesystem::path& path);
  // Refused as no constants file without a "FlashData" section holding at least one key of a
  // parameter or of the algorithm area, or with a NUL byte (the profile format ends a file
  // there; whatever followed would be lost without a word).
  static std::expected<AfiReader, std::string> FromText(std::string_view text);
  ~AfiReader();
  AfiReader(AfiReader&&) noexcept;
  AfiReader& operator=(AfiReader&&) noexcept;

  // The key's value cut at 32 characters; nothing when the file lacks the key.
  std::optional<std::string> Find(std::string_view key) const;
  // The key's value whole, however long.
  std::optional<std::string> FindWhole(std::string_view key) const;
  // The lines (from 1) that give the key in the "FlashData" section, in file order: the last
  // one's value is the one read.
  std::vector<std::size_t> Lines(std::string_view key) const;
  // The same with a missing key read as empty, as the profile functions read it.
  std::string Value(std::string_view key) const { return Find(key).value_or(""); }

 private:
  struct Ini;
  explicit AfiReader(std::unique_ptr<Ini> ini);
  std::unique_ptr<Ini> ini_;
};

// What an .afi holds for the data flash, key by key.
struct AfiValues {
  // Each parameter row's text; nothing where the file lacks the row's key.
  std::array<std::optional<std::string>, kParamCount> rows;
  // The algorithm area from the AlgorithmData keys, zeros where a key is missing or invalid.
  AlgorithmArea algorithm{};
  std::array<bool, kAlgorithmKeyCount> algorithm_present{};
  // Each AlgorithmData key's text as the file holds it; nothing where the file lacks the key.
  std::array<std::optional<std::string>, kAlgorithmKeyCount> algorithm_texts{};
  // The keys the file lacks (rows in list order, then the algorithm data) and "key = value
  // (line N)" for each value no parameter takes: a text that is not wholly a value of its row
  // (a number in the row's format, a date; not longer than the 32 characters a row keeps), an
  // AlgorithmData value that is not a whole decimal 32-bit number.
  std::vector<std::string> missing;
  std::vector<std::string> invalid;
  // What a load or conversion of the file says besides: values taken as others (clamped to
  // their limits, a date moved into its fields, a string cut to its field), a date no calendar
  // has, keys given more than once. None of them stops it.
  std::vector<std::string> warnings;
};
AfiValues ReadAfiValues(const AfiReader& reader);

// "A, B, C, D, E and 12 more": the first names of a list, for a message.
std::string FirstNames(const std::vector<std::string>& names);
// The messages that refuse a file with keys a conversion cannot do without; nothing when the
// file is complete and every value is taken.
std::optional<std::string> IncompleteAfiMessage(const AfiValues& values);
std::optional<std::string> InvalidAfiMessage(const AfiValues& values);

// Collects keys in order and writes them to a file in one go.
class AfiWriter {
 public:
  AfiWriter();
  ~AfiWriter();
  void Set(std::string_view key, std::string_view value);
  void SetAlgorithmData(const AlgorithmArea& area);
  // Replaces the file whole or not at all (see common::WriteFileAtomically).
  std::expected<void, common::FileError> Save(const std::filesystem::path& path) const;

 private:
  struct Ini;
  std::unique_ptr<Ini> ini_;
};

// The name a save uses: the chosen path as it is, with ".afi" added unless it already ends in
// ".afi" in any case.
std::filesystem::path AfiSavePath(const std::filesystem::path& chosen);

// A FlashImage (page-set part) and algorithm area built from an .afi without the gauge.
struct AfiImage {
  FlashImage image{};
  AlgorithmArea algorithm{};
  // The file's warnings (see AfiValues), for the caller to show.
  std::vector<std::string> warnings;
};
// `stored_form`: the algorithm area as the file holds it; otherwise its plain form, with bytes 1
// to 30 of 0x58-0x5B copied to 0x5C-0x5F. Refused, with the message, for a file that cannot be
// read, is no constants file, lacks a key or holds a value no parameter takes: without a gauge
// there is no value to keep in a missing key's place.
std::expected<AfiImage, std::string> LoadAfiImage(const std::filesystem::path& path,
                                                  bool stored_form);
// Missing and invalid keys leave zeros.
AfiImage AfiImageFrom(const AfiValues& values, bool stored_form);

}  // namespace cw::dataflash
