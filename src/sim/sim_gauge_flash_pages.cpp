// The data-flash subclass pages of the simulated gauge: 0x78 + k reads and writes of the
// subclass selected with 0x77.
#include <algorithm>

#include "link/gauge_link.h"
#include "sim/gauge_memory.h"
#include "sim/sim_gauge.h"
#include "sim/subclass_table.h"

namespace cw::sim {
namespace {

constexpr std::size_t kMaxBlock = link::kFlashPageSize;
constexpr std::uint8_t kFirstPage = link::kFlashPageCommand;

}  // namespace

std::optional<SimGauge::Reply> SimGauge::PageReply(std::uint8_t command) {
  if (!state_.selected_subclass) return std::nullopt;
  const SubclassPlace place = *FindSubclassPlace(*state_.selected_subclass);
  const std::size_t offset = (command - kFirstPage) * kMaxBlock;
  if (place.length <= offset) return std::nullopt;
  const std::size_t count = std::min(kMaxBlock, place.length - offset);
  common::Bytes bytes = *state_.memory.ReadSubclass(place, offset, count);
  if (IsStoredFormSubclass(place.id)) {
    for (auto& byte : bytes) byte = PlainToStoredByte(byte, place.id);
  }
  return BlockReply(command, bytes);
}

bool SimGauge::WritePage(std::uint8_t command, common::ByteView data) {
  if (Sealed() || !state_.selected_subclass) return false;
  const SubclassPlace place = *FindSubclassPlace(*state_.selected_subclass);
  const std::size_t offset = (command - kFirstPage) * kMaxBlock;
  // A page is written from its first byte and never past the end of the subclass.
  if (place.length <= offset || data.empty()) return false;
  if (data.size() > std::min(kMaxBlock, place.length - offset)) return false;
  if (!IsStoredFormSubclass(place.id)) return state_.memory.WriteSubclass(place, offset, data);
  common::Bytes plain(data.begin(), data.end());
  for (auto& byte : plain) byte = StoredToPlainByte(byte, place.id);
  return state_.memory.WriteSubclass(place, offset, plain);
}

}  // namespace cw::sim
