#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/register_row.h"

namespace cw::monitor {

// How a row's raw value becomes its value text.
enum class Conversion : std::int8_t {
  kPlain = 1,         // format(raw): unsigned word or 32-bit status
  kTemperature = -1,  // raw in 0.1 K, printed in degrees Celsius
  kLowByte = -4,      // format(raw & 0xFF)
  kByte = -3,         // format(second byte of raw)
  kSigned = -5,       // format(raw as a signed 16-bit number)
  kText = -7,         // block read, printed with "%s"
  kCapacity = -8,     // format(raw); unit mAh or cWh by Battery Mode CapM
};

enum class Access : std::uint8_t { kRead = 0, kReadWrite = 2 };

// The fixed part of one register row, as compiled into the product.
struct SbsRegisterInfo {
  std::string_view name;
  std::uint8_t command = 0;
  std::string_view format;
  std::string_view unit;
  Conversion conversion = Conversion::kPlain;
  Access access = Access::kRead;
  std::uint8_t length = 0;  // longest text of a text row; 0 for word rows
};

inline constexpr std::int32_t kNotRead = -1;
// The value text of a row whose last scan read failed.
inline constexpr std::string_view kFailedText = " ";

// One register row with its run-time state: the last raw value and its text, the unit shown
// (capacity rows switch between mAh and cWh) and the Log and Scan selections.
struct SbsRegisterDef {
  explicit SbsRegisterDef(const SbsRegisterInfo& info)
      : name(info.name),
        format(info.format),
        unit(info.unit),
        command(info.command),
        access(info.access),
        conversion(info.conversion),
        raw_value(info.length != 0 ? info.length : kNotRead) {}

  std::string_view name;
  std::string_view format;
  std::string value_text;
  std::string_view unit;
  bool log = false;
  bool scan = false;
  std::uint8_t command = 0;
  Access access = Access::kRead;
  Conversion conversion = Conversion::kPlain;
  // Last value read, kNotRead when never read or the last read failed. A text row keeps its
  // maximum text length here instead, and so does "Gauge Debug Info" (its bytes are its text).
  std::int32_t raw_value = kNotRead;
  // Which good read the value came from (RegisterTable::MarkRead); 0 when the row was never
  // read or its last read failed, whatever its value text holds.
  std::uint64_t read_stamp = 0;

  bool writable() const { return access == Access::kReadWrite; }
  bool is_text() const { return conversion == Conversion::kText; }
  // The value text as a list shows it: up to its first zero byte (the debug block is binary).
  std::string_view DisplayText() const {
    return std::string_view(value_text).substr(0, value_text.find('\0'));
  }
  // The value as the lists and the terminal show it: blank after a failed read.
  std::string_view ShownText() const {
    const std::string_view text = DisplayText();
    return text == kFailedText ? std::string_view() : text;
  }
  // The link's view of the row, for its row-form transactions.
  link::RegisterRow ToLinkRow() const;
};

// The row name with every space removed: the data log's column heading.
std::string CompactName(std::string_view name);

}  // namespace cw::monitor
