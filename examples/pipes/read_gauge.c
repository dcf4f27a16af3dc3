/*
 * Reads the gauge's Voltage and RelativeStateOfCharge through libcwpipes and prints them.
 *
 *   cc read_gauge.c $(pkg-config --cflags --libs cwpipes) -o read_gauge
 *   CWPIPES_DEVICE=sim ./read_gauge
 *
 * CWPIPES_DEVICE=sim uses the simulated pack; leave it unset for a real adapter. On a failure
 * it prints the library's reason and exits with status 1. Plain C89.
 */
#include <stdio.h>
#include <string.h>

#include "cwpipes.h"

#define VOLTAGE 0x09                  /* SBS command: pack voltage, mV */
#define RELATIVE_STATE_OF_CHARGE 0x0D /* SBS command: percent */
#define GAUGE_READ_ADDRESS 0x17       /* the gauge's address byte of the read phase */

/* SMBus packet error code: CRC-8, polynomial 0x07, initial value 0. */
static uint8_t Pec(const uint8_t* bytes, size_t count) {
  uint8_t crc = 0;
  size_t i;
  int bit;
  for (i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (bit = 0; bit < 8; ++bit) {
      crc = (uint8_t)((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
  }
  return crc;
}

/* Reads the word of SBS command `command` into *value: one request out, its reply in. Returns 0
 * on success; prints why and returns 1 otherwise. */
static int ReadWord(int bulk_out, int bulk_in, uint8_t command, const char* name, unsigned* value) {
  uint8_t request[CWPIPES_PACKET_SIZE];
  uint8_t reply[CWPIPES_PACKET_SIZE];
  uint8_t covered[5];
  uint32_t count = 0;

  memset(request, 0, sizeof request);
  request[CWPIPES_BYTE_OPCODE] = CWPIPES_OP_READ;
  request[CWPIPES_BYTE_BUS] = CWPIPES_BUS;
  request[CWPIPES_BYTE_ADDRESS] = CWPIPES_GAUGE_ADDRESS;
  request[CWPIPES_BYTE_COMMAND] = command;
  request[CWPIPES_BYTE_READ_LENGTH] = 3; /* the word, low byte first, then the PEC */

  if (!BulkOut(bulk_out, request, sizeof request, &count) ||
      !BulkIn(bulk_in, reply, sizeof reply, &count)) {
    fprintf(stderr, "read_gauge: %s: %s\n", name, CwPipesLastError());
    return 1;
  }
  if (count != CWPIPES_PACKET_SIZE || reply[CWPIPES_BYTE_OPCODE] != CWPIPES_OP_READ ||
      reply[CWPIPES_BYTE_COMMAND] != command) {
    fprintf(stderr, "read_gauge: %s: the reply does not answer the request\n", name);
    return 1;
  }
  if (reply[CWPIPES_BYTE_ACK] == 0) {
    fprintf(stderr, "read_gauge: %s: the gauge did not acknowledge\n", name);
    return 1;
  }
  covered[0] = CWPIPES_GAUGE_ADDRESS;
  covered[1] = command;
  covered[2] = GAUGE_READ_ADDRESS;
  covered[3] = reply[CWPIPES_DATA_OFFSET];
  covered[4] = reply[CWPIPES_DATA_OFFSET + 1];
  if (Pec(covered, sizeof covered) != reply[CWPIPES_DATA_OFFSET + 2]) {
    fprintf(stderr, "read_gauge: %s: PEC mismatch\n", name);
    return 1;
  }
  *value = (unsigned)reply[CWPIPES_DATA_OFFSET] | (unsigned)reply[CWPIPES_DATA_OFFSET + 1] << 8;
  return 0;
}

int main(void) {
  static const struct {
    uint8_t command;
    const char* name;
    const char* unit;
  } kRegisters[] = {{VOLTAGE, "Voltage", "mV"},
                    {RELATIVE_STATE_OF_CHARGE, "RelativeStateOfCharge", "%"}};
  unsigned value = 0;
  size_t i;
  int failed = 0;
  const int bulk_out = OpenUsbPort_Bulkout();
  const int bulk_in = bulk_out < 0 ? -1 : OpenUsbPort_Bulkin();

  if (bulk_out < 0 || bulk_in < 0) {
    fprintf(stderr, "read_gauge: %s\n", CwPipesLastError());
    if (bulk_out >= 0) CloseUsbPort_Bulkout(bulk_out);
    return 1;
  }
  for (i = 0; i < sizeof kRegisters / sizeof kRegisters[0] && !failed; ++i) {
    failed = ReadWord(bulk_out, bulk_in, kRegisters[i].command, kRegisters[i].name, &value);
    if (!failed) printf("%s: %u %s\n", kRegisters[i].name, value, kRegisters[i].unit);
  }
  CloseUsbPort_Bulkin(bulk_in);
  CloseUsbPort_Bulkout(bulk_out);
  return failed;
}
