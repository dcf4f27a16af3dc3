#pragma once

// A failure as data: what kind of failure it is, and the words that tell a person about it.
// Front ends choose exit codes, JSON error kinds, a station's failure causes and what the records
// keep from the kind, never from the words.

#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace cw::common {

enum class ErrorKind {
  kUsage,                // a bad argument, option, device string or value: nothing was sent
  kNoAdapter,            // no adapter could be opened
  kAdapterNotAnswering,  // the adapter was opened but its reports or packets failed
  kGaugeNotResponding,   // the adapter answered, the gauge did not acknowledge
  kBootLoader,           // the gauge sits in its boot loader (an update stopped or failed)
  kSealed,               // the gauge's security state rules the operation out
  kRefused,              // the gauge or the product's rules ruled it out before anything was sent
  kWrongGauge,           // the gauge is not the one the work is for (device type, firmware)
  kMismatch,             // a read-back, comparison or check did not give what was expected
  kOutOfLimits,          // a reading or correction lies outside its limits
  kFile,                 // a file could not be read or written, or is no file of its kind
  kRecordsStore,         // the records store could not be opened, read or written
  kStopped,              // a stop request ended the work at a safe point
  kFailed,               // the operation failed otherwise
};

// The kind's name in JSON documents and records: "no_adapter", "records_store", ...
std::string_view ErrorKindName(ErrorKind kind);

struct Error {
  ErrorKind kind = ErrorKind::kFailed;
  std::string message;

  bool operator==(const Error&) const = default;
};

template <typename Value>
using Expected = std::expected<Value, Error>;

inline std::unexpected<Error> Fail(ErrorKind kind, std::string message) {
  return std::unexpected(Error{kind, std::move(message)});
}

}  // namespace cw::common
