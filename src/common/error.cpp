#include "common/error.h"

namespace cw::common {

std::string_view ErrorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kUsage:
      return "usage";
    case ErrorKind::kNoAdapter:
      return "no_adapter";
    case ErrorKind::kAdapterNotAnswering:
      return "adapter_not_answering";
    case ErrorKind::kGaugeNotResponding:
      return "gauge_not_responding";
    case ErrorKind::kBootLoader:
      return "boot_loader";
    case ErrorKind::kSealed:
      return "sealed";
    case ErrorKind::kRefused:
      return "refused";
    case ErrorKind::kWrongGauge:
      return "wrong_gauge";
    case ErrorKind::kMismatch:
      return "mismatch";
    case ErrorKind::kOutOfLimits:
      return "out_of_limits";
    case ErrorKind::kFile:
      return "file";
    case ErrorKind::kRecordsStore:
      return "records_store";
    case ErrorKind::kStopped:
      return "stopped";
    case ErrorKind::kFailed:
      return "failed";
  }
  return "failed";
}

}  // namespace cw::common
