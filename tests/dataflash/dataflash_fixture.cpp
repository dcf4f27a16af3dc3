#include "dataflash_fixture.h"

#include "dataflash/parameter_table.h"

namespace cw::test {

bool RecordingGauge::Write(std::span<const std::uint8_t> bytes) {
  BusTransaction t{true, bytes.empty() ? std::uint8_t{0} : bytes[0], {}, 0};
  if (bytes.size() > 2) t.data.assign(bytes.begin() + 1, bytes.end() - 1);
  transactions.push_back(t);
  if (nack && nack(t)) return false;
  if (t.command == 0x77 && t.data.size() >= 1) selected_ = t.data[0];
  if (forget_writes_to && t.command >= 0x78 && t.command < 0x80 && selected_ == forget_writes_to) {
    return true;
  }
  return gauge_.Write(bytes);
}

std::optional<std::vector<std::uint8_t>> RecordingGauge::Read(std::uint8_t command,
                                                              std::size_t count) {
  BusTransaction t{false, command, {}, count};
  transactions.push_back(t);
  if (nack && nack(t)) return std::nullopt;
  return gauge_.Read(command, count);
}

DataFlashFixture::DataFlashFixture()
    : gauge(link.pack->gauge()), session(*link.link, link.messages, progress) {
  link.pack->ReplaceTarget(&gauge);
}

DataFlashFixture::~DataFlashFixture() { link.pack->ReplaceTarget(nullptr); }

std::vector<BusTransaction> DataFlashFixture::TakeFlashTraffic() {
  std::vector<BusTransaction> traffic;
  for (const BusTransaction& t : gauge.transactions) {
    if (t.command >= 0x77 && t.command < 0x80) traffic.push_back(t);
  }
  gauge.transactions.clear();
  return traffic;
}

std::size_t DataFlashFixture::Row(std::string_view name) const {
  return *dataflash::FindParam(name);
}

}  // namespace cw::test
