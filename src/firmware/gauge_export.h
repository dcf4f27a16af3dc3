#pragma once

#include <filesystem>
#include <stop_token>

#include "common/error.h"
#include "common/function_ref.h"
#include "common/product_constants.h"
#include "firmware/read_back.h"
#include "link/gauge_link.h"

// The firmware export on the caller's thread: what the firmware window's job and `fw export`
// both run.
namespace cw::firmware {

inline constexpr int kExportPages = kDataPages + kCodePages;  // 2,080

// Pages read so far, of kExportPages; kExportPages once the export has ended.
using ExportProgress = common::FunctionRef<void(int pages)>;

// Whether the gauge's firmware may be exported to `path`, before 2,080 pages are read for it:
// the place takes a file (kFile) and the gauge answers (kGaugeNotResponding) that it is unsealed
// (kSealed).
common::Expected<void> CheckExport(link::GaugeLink& link, const std::filesystem::path& path);

// After CheckExport: every data and code flash page through the gauge's read-out path, made into
// a scrambled image at `path`, written whole or not at all. `stop` is looked at between pages;
// the pack is never changed. Fails kStopped, kGaugeNotResponding (a page not read) or kFile.
common::Expected<void> ExportGauge(link::GaugeLink& link, const common::ProductConstants& constants,
                                   const std::filesystem::path& path, std::stop_token stop,
                                   ExportProgress progress);

}  // namespace cw::firmware
