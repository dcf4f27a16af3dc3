#include "bulk_requests.h"

#include "common/bytes.h"
#include "link/pec.h"

namespace cw::exports::testing {
namespace {

Packet ToTheGauge(std::uint8_t opcode, std::uint8_t command) {
  Packet packet{};
  packet[CWPIPES_BYTE_OPCODE] = opcode;
  packet[CWPIPES_BYTE_BUS] = CWPIPES_BUS;
  packet[CWPIPES_BYTE_ADDRESS] = CWPIPES_GAUGE_ADDRESS;
  packet[CWPIPES_BYTE_COMMAND] = command;
  return packet;
}

}  // namespace

Packet ReadRequest(std::uint8_t command, std::uint8_t count) {
  Packet packet = ToTheGauge(CWPIPES_OP_READ, command);
  packet[CWPIPES_BYTE_READ_LENGTH] = count;
  return packet;
}

Packet WriteWordRequest(std::uint8_t command, std::uint16_t word) {
  Packet packet = ToTheGauge(CWPIPES_OP_WRITE, command);
  packet[CWPIPES_BYTE_WRITE_LENGTH] = 3;  // the word and its PEC
  packet[CWPIPES_DATA_OFFSET] = common::LowByte(word);
  packet[CWPIPES_DATA_OFFSET + 1] = common::HighByte(word);
  packet[CWPIPES_DATA_OFFSET + 2] = link::Pec(std::array<std::uint8_t, 4>{
      CWPIPES_GAUGE_ADDRESS, command, common::LowByte(word), common::HighByte(word)});
  return packet;
}

}  // namespace cw::exports::testing
