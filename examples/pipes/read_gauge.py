#!/usr/bin/env python3
"""Reads the gauge's Voltage and RelativeStateOfCharge through libcwpipes and prints them.

    CWPIPES_DEVICE=sim python3 read_gauge.py [path/to/libcwpipes.so]

CWPIPES_DEVICE=sim uses the simulated pack; leave it unset for a real adapter. Without a path
the library is looked up as the system finds shared libraries. On a failure it prints the
library's reason and exits with status 1. Standard library only (ctypes).
"""

import ctypes
import ctypes.util
import sys

# From cwpipes.h.
PACKET_SIZE = 64
OP_READ = 0x02
BYTE_OPCODE, BYTE_BUS, BYTE_ADDRESS, BYTE_ACK, BYTE_COMMAND, BYTE_READ_LENGTH = 0, 4, 5, 6, 7, 9
DATA_OFFSET = 10
BUS = 0x02
GAUGE_ADDRESS = 0x16
GAUGE_READ_ADDRESS = 0x17

REGISTERS = [(0x09, "Voltage", "mV"), (0x0D, "RelativeStateOfCharge", "%")]


class PipeError(Exception):
    pass


def declare(function, argtypes, restype=ctypes.c_int):
    function.argtypes = argtypes
    function.restype = restype


def load(path):
    library = ctypes.CDLL(path or ctypes.util.find_library("cwpipes") or "libcwpipes.so.0")
    u8p, u32p = ctypes.POINTER(ctypes.c_uint8), ctypes.POINTER(ctypes.c_uint32)
    declare(library.OpenUsbPort_Bulkin, [])
    declare(library.OpenUsbPort_Bulkout, [])
    declare(library.CloseUsbPort_Bulkin, [ctypes.c_int])
    declare(library.CloseUsbPort_Bulkout, [ctypes.c_int])
    declare(library.BulkIn, [ctypes.c_int, u8p, ctypes.c_uint32, u32p])
    declare(library.BulkOut, [ctypes.c_int, u8p, ctypes.c_uint32, u32p])
    declare(library.CwPipesLastError, [], ctypes.c_char_p)
    return library


def pec(data):
    """SMBus packet error code: CRC-8, polynomial 0x07, initial value 0."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = ((crc << 1) ^ 0x07) & 0xFF if crc & 0x80 else (crc << 1) & 0xFF
    return crc


def read_word(library, bulk_out, bulk_in, command, name):
    request = (ctypes.c_uint8 * PACKET_SIZE)()
    request[BYTE_OPCODE] = OP_READ
    request[BYTE_BUS] = BUS
    request[BYTE_ADDRESS] = GAUGE_ADDRESS
    request[BYTE_COMMAND] = command
    request[BYTE_READ_LENGTH] = 3  # the word, low byte first, then the PEC
    reply = (ctypes.c_uint8 * PACKET_SIZE)()
    count = ctypes.c_uint32(0)
    if not (library.BulkOut(bulk_out, request, PACKET_SIZE, ctypes.byref(count))
            and library.BulkIn(bulk_in, reply, PACKET_SIZE, ctypes.byref(count))):
        raise PipeError(f"{name}: {library.CwPipesLastError().decode()}")
    if count.value != PACKET_SIZE or reply[BYTE_OPCODE] != OP_READ or reply[BYTE_COMMAND] != command:
        raise PipeError(f"{name}: the reply does not answer the request")
    if reply[BYTE_ACK] == 0:
        raise PipeError(f"{name}: the gauge did not acknowledge")
    low, high, check = reply[DATA_OFFSET], reply[DATA_OFFSET + 1], reply[DATA_OFFSET + 2]
    if pec([GAUGE_ADDRESS, command, GAUGE_READ_ADDRESS, low, high]) != check:
        raise PipeError(f"{name}: PEC mismatch")
    return low | high << 8


def main():
    library = load(sys.argv[1] if len(sys.argv) > 1 else None)
    bulk_out = library.OpenUsbPort_Bulkout()
    bulk_in = library.OpenUsbPort_Bulkin() if bulk_out >= 0 else -1
    try:
        if bulk_out < 0 or bulk_in < 0:
            raise PipeError(library.CwPipesLastError().decode())
        for command, name, unit in REGISTERS:
            print(f"{name}: {read_word(library, bulk_out, bulk_in, command, name)} {unit}", flush=True)
    except PipeError as error:
        print(f"read_gauge.py: {error}", file=sys.stderr)
        return 1
    finally:
        if bulk_in >= 0:
            library.CloseUsbPort_Bulkin(bulk_in)
        if bulk_out >= 0:
            library.CloseUsbPort_Bulkout(bulk_out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
