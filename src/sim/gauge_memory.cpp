#include "sim/gauge_memory.h"

#include <algorithm>

namespace cw::sim {

std::span<std::uint8_t> GaugeMemory::Space(FlashSpace space) {
  return space == FlashSpace::kCode ? std::span<std::uint8_t>(code) : std::span<std::uint8_t>(data);
}

std::span<const std::uint8_t> GaugeMemory::Space(FlashSpace space) const {
  return space == FlashSpace::kCode ? std::span<const std::uint8_t>(code)
                                    : std::span<const std::uint8_t>(data);
}

bool GaugeMemory::Writable(FlashSpace space, std::uint32_t address, std::size_t count) const {
  const std::size_t end = space == FlashSpace::kCode ? kBootLoaderStart : Space(space).size();
  return address <= end && count <= end - address;
}

std::optional<common::Bytes> GaugeMemory::ReadSubclass(const SubclassPlace& place,
                                                       std::size_t offset,
                                                       std::size_t count) const {
  if (offset > place.length || count > place.length - offset) return std::nullopt;
  const auto memory = Space(place.space);
  const auto first = memory.begin() + place.address + static_cast<std::ptrdiff_t>(offset);
  return common::Bytes(first, first + static_cast<std::ptrdiff_t>(count));
}

bool GaugeMemory::WriteSubclass(const SubclassPlace& place, std::size_t offset,
                                common::ByteView bytes) {
  if (offset > place.length || bytes.size() > place.length - offset) return false;
  auto memory = Space(place.space);
  std::copy(bytes.begin(), bytes.end(),
            memory.begin() + place.address + static_cast<std::ptrdiff_t>(offset));
  return true;
}

}  // namespace cw::sim
