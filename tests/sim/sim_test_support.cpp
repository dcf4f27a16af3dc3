#include "sim_test_support.h"

#include "link/pec.h"

namespace cw::sim::testing {
namespace {

constexpr std::uint8_t kWrite = 0x16;
constexpr std::uint8_t kRead = 0x17;

std::uint8_t WritePec(common::ByteView bytes) { return link::Pec(bytes, link::Pec({kWrite})); }

}  // namespace

common::Bytes WordWrite(std::uint8_t command, std::uint16_t value, bool with_pec) {
  common::Bytes bytes{command, common::LowByte(value), common::HighByte(value)};
  if (with_pec) bytes.push_back(WritePec(bytes));
  return bytes;
}

common::Bytes BlockWrite(std::uint8_t command, common::ByteView data, bool with_pec) {
  common::Bytes bytes{command, static_cast<std::uint8_t>(data.size())};
  bytes.insert(bytes.end(), data.begin(), data.end());
  if (with_pec) bytes.push_back(WritePec(bytes));
  return bytes;
}

std::optional<std::uint16_t> ReadWord(link::SmbusTarget& target, std::uint8_t command) {
  const auto bytes = target.Read(command, 3);
  if (!bytes || bytes->size() != 3) return std::nullopt;
  if (link::Pec({kWrite, command, kRead, (*bytes)[0], (*bytes)[1]}) != (*bytes)[2]) {
    return std::nullopt;
  }
  return common::LittleEndianWord((*bytes)[0], (*bytes)[1]);
}

std::optional<common::Bytes> ReadBlock(link::SmbusTarget& target, std::uint8_t command,
                                       std::size_t length) {
  const auto bytes = target.Read(command, length + 2);
  if (!bytes || bytes->size() != length + 2 || (*bytes)[0] != length) return std::nullopt;
  const common::ByteView body(bytes->data(), length + 1);
  if (link::Pec(body, link::Pec({kWrite, command, kRead})) != bytes->back()) return std::nullopt;
  return common::Bytes(bytes->begin() + 1, bytes->end() - 1);
}

bool WriteWords(link::SmbusTarget& target, std::uint8_t command,
                std::initializer_list<std::uint16_t> words) {
  bool ok = true;
  for (std::uint16_t word : words) ok = target.Write(WordWrite(command, word)) && ok;
  return ok;
}

bool EnterKey(link::SmbusTarget& target, std::uint32_t key) {
  return WriteWords(
      target, 0x00,
      {static_cast<std::uint16_t>(key & 0xFFFF), static_cast<std::uint16_t>(key >> 16)});
}

std::uint8_t ToolReadBackData(std::uint8_t byte, std::uint8_t mask) {
  const auto x = static_cast<std::uint8_t>(byte ^ mask);
  return static_cast<std::uint8_t>((x << 3) | (x >> 5));
}

std::uint8_t ToolReadBackCode(std::uint8_t byte, std::uint32_t address, std::uint8_t mask) {
  // crc8 of the single byte (address & 0xFF), computed bit by bit.
  auto crc = static_cast<std::uint8_t>(address & 0xFF);
  for (int bit = 0; bit < 8; ++bit) {
    crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return ToolReadBackData(static_cast<std::uint8_t>(byte ^ crc), mask);
}

std::array<std::uint8_t, 31> PlainRecord(std::uint16_t sequence, std::uint8_t type,
                                         common::ByteView rest) {
  std::array<std::uint8_t, 31> plain{};
  plain[0] = common::HighByte(sequence);
  plain[1] = common::LowByte(sequence);
  plain[2] = type;
  for (std::size_t i = 0; i < rest.size() && 3 + i < plain.size(); ++i) plain[3 + i] = rest[i];
  return plain;
}

std::array<std::uint8_t, 31> DataRecord(std::uint16_t sequence, std::uint16_t address,
                                        std::uint8_t space, common::ByteView data) {
  common::Bytes rest{common::HighByte(address), common::LowByte(address), space,
                     static_cast<std::uint8_t>(data.size())};
  rest.insert(rest.end(), data.begin(), data.end());
  return PlainRecord(sequence, 0xFD, rest);
}

std::array<std::uint8_t, 32> Scramble(const std::array<std::uint8_t, 31>& plain,
                                      std::uint8_t mask) {
  std::array<std::uint8_t, 32> record{};
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const auto rotated = static_cast<std::uint8_t>((plain[i] >> 1) | (plain[i] << 7));
    record[i] = static_cast<std::uint8_t>(rotated ^ mask);
    sum = static_cast<std::uint8_t>(sum + record[i]);
  }
  record[31] = sum;
  return record;
}

}  // namespace cw::sim::testing
