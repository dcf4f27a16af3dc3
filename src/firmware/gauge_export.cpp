#include "firmware/gauge_export.h"

#include <fmt/format.h>

#include <memory>
#include <vector>

#include "common/file_error.h"
#include "common/file_output.h"
#include "firmware/firmware_image.h"
#include "firmware/messages.h"
#include "link/command_codes.h"

namespace cw::firmware {
namespace {

using common::ErrorKind;

}  // namespace

common::Expected<void> CheckExport(link::GaugeLink& link, const std::filesystem::path& path) {
  if (const auto target = common::CheckOutputTarget(path); !target) {
    return common::Fail(ErrorKind::kFile, common::DescribeFileError(target.error()));
  }
  const auto status = link.ReadOperationStatus();
  if (!status) {
    return common::Fail(ErrorKind::kGaugeNotResponding, std::string(messages::kCommunicationError));
  }
  if (*status & link::kOperationStatusSealed) {
    return common::Fail(ErrorKind::kSealed, std::string(messages::kSealedExport));
  }
  return {};
}

common::Expected<void> ExportGauge(link::GaugeLink& link, const common::ProductConstants& constants,
                                   const std::filesystem::path& path, std::stop_token stop,
                                   ExportProgress progress) {
  std::vector<std::uint8_t> data(kDataPages * kRecordSize);
  auto code = std::make_unique<CodeImage>();
  for (int page = 0; page < kExportPages; ++page) {
    if (stop.stop_requested()) {
      return common::Fail(ErrorKind::kStopped,
                          page == 0 ? std::string("The export was stopped before it started: no "
                                                  "image was written, and the pack is unchanged.")
                                    : fmt::format("The export was stopped after {} of {} pages: no "
                                                  "image was written, and the pack is "
                                                  "unchanged (an export only reads).",
                                                  page, kExportPages));
    }
    const bool is_data = page < kDataPages;
    const auto selector = static_cast<std::uint16_t>(
        is_data ? kFirstDataSelector + page : kFirstCodeSelector + (page - kDataPages));
    const auto block = link.ReadFlashBlock(selector, false);
    if (!block) {
      progress(kExportPages);
      return common::Fail(ErrorKind::kGaugeNotResponding,
                          fmt::format(messages::kExportReadFailed, page + 1, kExportPages));
    }
    std::uint8_t* to =
        is_data ? data.data() + static_cast<std::size_t>(page) * kRecordSize
                : code->data() + static_cast<std::size_t>(page - kDataPages) * kRecordSize;
    std::copy(block->begin(), block->end(), to);
    progress(page + 1);
  }
  UnhideDataFlash(data, constants.read_back_mask);
  UnhideCodeFlash(std::span(code->data(), kStreamedCodeSize), constants.read_back_mask);
  (*code)[kCopiedCodeAddress] = 0;
  (*code)[kCopiedCodeAddress + 1] = 0;
  DataAreaImage area{};
  std::copy_n(data.begin(), area.size(), area.begin());
  const common::Bytes image = BuildFirmwareImage(*code, area, constants);
  const auto written = common::WriteFileAtomically(path, common::ByteView(image));
  progress(kExportPages);
  if (!written) return common::Fail(ErrorKind::kFile, common::DescribeFileError(written.error()));
  return {};
}

}  // namespace cw::firmware
