#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dataflash/subclass_layout.h"

// .afi files: one "FlashData" section with a key per parameter (its displayed value) and the
// algorithm area as "AlgorithmData%d" keys, each four stored bytes as one big-endian "%u".
// Read and written the way the Windows profile functions treat them: keys without regard to
// case, values cut at 32 characters, a missing key read as empty.
namespace cw::dataflash {

inline constexpr std::string_view kAfiSection = "FlashData";
inline constexpr std::string_view kAlgorithmKeyPrefix = "AlgorithmData";
inline constexpr std::size_t kAlgorithmKeyCount = 159;

// One AlgorithmData key: where its four bytes lie in an algorithm area.
struct AlgorithmKey {
  std::size_t number;
  std::size_t area_offset;
};
// The key for `number` (0 to 158).
AlgorithmKey AlgorithmKeyAt(std::size_t number);

// The "FlashData" section of an .afi loaded into memory.
class AfiReader {
 public:
  // Nothing when the file cannot be read or parsed.
  static std::optional<AfiReader> Open(const std::filesystem::path& path);
  static std::optional<AfiReader> FromText(std::string_view text);
  ~AfiReader();
  AfiReader(AfiReader&&) noexcept;
  AfiReader& operator=(AfiReader&&) noexcept;

  // The key's value cut at 32 characters; empty when the key is missing.
  std::string Value(std::string_view key) const;
  // The algorithm area from the AlgorithmData keys ("%u", missing keys as 0).
  AlgorithmArea AlgorithmData() const;

 private:
  struct Ini;
  explicit AfiReader(std::unique_ptr<Ini> ini);
  std::unique_ptr<Ini> ini_;
};

// Collects keys in order and writes them to a file in one go.
class AfiWriter {
 public:
  AfiWriter();
  ~AfiWriter();
  void Set(std::string_view key, std::string_view value);
  void SetAlgorithmData(const AlgorithmArea& area);
  // Writes through a temporary file beside `path`, so a failed write leaves any old file intact.
  // The reason when it fails.
  std::optional<std::string> Save(const std::filesystem::path& path) const;

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
};
// `stored_form`: the algorithm area as the file holds it; otherwise its plain form, with bytes 1
// to 30 of 0x58-0x5B copied to 0x5C-0x5F.
std::expected<AfiImage, std::string> LoadAfiImage(const std::filesystem::path& path,
                                                  bool stored_form);
AfiImage AfiImageFrom(const AfiReader& reader, bool stored_form);

}  // namespace cw::dataflash
