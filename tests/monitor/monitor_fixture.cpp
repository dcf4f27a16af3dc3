#include "monitor_fixture.h"

#include "link/pec.h"

namespace cw::test {

void FakeGauge::SetWord(std::uint8_t command, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  words_[command] = value;
}

void FakeGauge::FailWord(std::uint8_t command) {
  std::lock_guard lock(mutex_);
  words_.erase(command);
}

void FakeGauge::SetText(std::uint8_t command, std::string_view text) {
  std::lock_guard lock(mutex_);
  common::Bytes reply{static_cast<std::uint8_t>(text.size())};
  reply.insert(reply.end(), text.begin(), text.end());
  texts_[command] = reply;
}

void FakeGauge::SetBlock(std::uint8_t subcommand, common::ByteView data) {
  common::Bytes reply{static_cast<std::uint8_t>(data.size() + 2), subcommand, 0};
  reply.insert(reply.end(), data.begin(), data.end());
  SetRawBlock(subcommand, reply);
}

void FakeGauge::SetRawBlock(std::uint8_t subcommand, common::Bytes reply) {
  std::lock_guard lock(mutex_);
  blocks_[subcommand] = std::move(reply);
}

int FakeGauge::BlockRequests(std::uint8_t subcommand) const {
  std::lock_guard lock(mutex_);
  const auto found = block_requests_.find(subcommand);
  return found == block_requests_.end() ? 0 : found->second;
}

int FakeGauge::WordReads(std::uint8_t command) const {
  std::lock_guard lock(mutex_);
  const auto found = word_reads_.find(command);
  return found == word_reads_.end() ? 0 : found->second;
}

std::vector<std::pair<std::uint8_t, std::uint16_t>> FakeGauge::WordWrites() const {
  std::lock_guard lock(mutex_);
  return word_writes_;
}

void FakeGauge::Install(ScriptedTarget& target) {
  target.on_write = [this](common::ByteView bytes) { return OnWrite(bytes); };
  target.on_read = [this](std::uint8_t command, std::size_t count) {
    return OnRead(command, count);
  };
}

bool FakeGauge::OnWrite(common::ByteView bytes) {
  std::lock_guard lock(mutex_);
  if (bytes.size() >= 3 && bytes[0] == link::kManufacturerBlockAccess) {
    subcommand_ = bytes[2];
    ++block_requests_[bytes[2]];
    return true;
  }
  if (bytes.size() >= 3) {
    word_writes_.emplace_back(bytes[0], common::LittleEndianWord(bytes[1], bytes[2]));
    words_[bytes[0]] = common::LittleEndianWord(bytes[1], bytes[2]);
    return true;
  }
  return false;
}

std::optional<common::Bytes> FakeGauge::OnRead(std::uint8_t command, std::size_t count) {
  std::lock_guard lock(mutex_);
  common::Bytes reply;
  if (command == link::kManufacturerBlockAccess) {
    if (!subcommand_ || !blocks_.contains(*subcommand_)) return std::nullopt;
    reply = blocks_[*subcommand_];
  } else if (texts_.contains(command)) {
    reply = texts_[command];
  } else if (words_.contains(command)) {
    ++word_reads_[command];
    reply = {common::LowByte(words_[command]), common::HighByte(words_[command])};
  } else {
    return std::nullopt;
  }
  common::Bytes pec_input{0x16, command, 0x17};
  pec_input.insert(pec_input.end(), reply.begin(), reply.end());
  reply.push_back(link::Pec(pec_input));
  if (count == link::SmbusTarget::kReadToCountByte) {
    reply.resize(1 + std::size_t{reply[0]});
  } else {
    reply.resize(count, 0xFF);
  }
  return reply;
}

ScanFixture::ScanFixture() {
  gauge.Install(target);
  fixture.pack->ReplaceTarget(&target);
}

ScanFixture::~ScanFixture() { fixture.pack->ReplaceTarget(nullptr); }

void ScanFixture::Select(std::initializer_list<std::string_view> names) {
  engine.WithTable([&](monitor::RegisterTable& table) {
    table.SetAllScan(false);
    for (std::string_view name : names) table.FindRow(name)->scan = true;
  });
}

monitor::SbsRegisterDef ScanFixture::Row(std::string_view name) {
  return engine.WithTable([&](monitor::RegisterTable& table) { return *table.FindRow(name); });
}

}  // namespace cw::test
