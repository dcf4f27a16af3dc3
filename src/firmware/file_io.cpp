#include "firmware/file_io.h"

#include "common/file_input.h"
#include "common/file_output.h"

namespace cw::firmware {

std::expected<common::Bytes, common::FileError> ReadImageFile(const std::filesystem::path& path) {
  return common::ReadRegularFile(path, kMaxImageFileSize);
}

std::optional<common::Bytes> ReadWholeFile(const std::filesystem::path& path) {
  auto bytes = ReadImageFile(path);
  if (!bytes) return std::nullopt;
  return std::move(*bytes);
}

bool WriteWholeFile(const std::filesystem::path& path, common::ByteView bytes) {
  return common::WriteFileAtomically(path, bytes).has_value();
}

bool WriteWholeFile(const std::filesystem::path& path, std::string_view text) {
  return common::WriteFileAtomically(path, text).has_value();
}

}  // namespace cw::firmware
