/*
 * libcwpipes: the pipe routines of the Cellwarden USB-to-SMBus adapter, for other programs.
 * C89 and C++98 clean. pipes.md walks through one exchange byte by byte, and examples/pipes/
 * beside it holds a C and a Python (ctypes) client: installed by the package in
 * /usr/share/doc/cellwarden/, in docs/ and examples/ of the source tree.
 *
 * THE DEVICE
 * The adapter's bulk product (USB product id 0x8000) is opened through libusb. A control handle
 * carries vendor control requests; the three pipe handles carry transfers on its endpoints:
 *   OpenUsbPort_Bulkin       PIPE00, bulk in       (endpoint 0x81)
 *   OpenUsbPort_Bulkout      PIPE01, bulk out      (endpoint 0x01)
 *   OpenUsbPort_Interruptin  PIPE02, interrupt in  (endpoint 0x82)
 * All handles share one open device; interface 0 is claimed by the first open and released
 * when the last handle is closed.
 *
 * The environment variable CWPIPES_DEVICE, read once at the first call, chooses the device:
 *   unset, "", "auto", "usb"  real adapters through libusb
 *   "sim"                     the simulated pack's bulk adapter, on the system clock
 *   "sim:KEY=VALUE:..."       the simulated pack with the options cellwarden-cli's --device
 *                             takes, combined with ':':
 *       faults=drop-after=3,nack-every=7,seed=1,...  faults injected into the pack, so a
 *                             script's error paths can be tried without hardware
 *       state=FILE            the pack is loaded from FILE and saved back at exit
 *       clock=virtual         every wait of the pack, time-outs included, advances a virtual
 *                             clock instead of sleeping
 *       transport=bulk|both   the bulk adapter is always plugged in; "both" adds a HID one
 * Any other value makes every routine fail with the reason, so a mistyped name never reaches
 * a real adapter by surprise. So does a cellwarden.ini (next to the library, then in
 * ~/.config/cellwarden/) that cannot be read or does not parse.
 *
 * PACKETS
 * The adapter speaks in 64-byte packets (CWPIPES_PACKET_SIZE): the program writes one request
 * with BulkOut and reads the one reply with BulkIn. Unused bytes are 0.
 *   request byte 0   opcode: CWPIPES_OP_READ, CWPIPES_OP_WRITE or CWPIPES_OP_VERSION
 *                4   CWPIPES_BUS (0x02)
 *                5   CWPIPES_GAUGE_ADDRESS (0x16)
 *                7   SMBus command code
 *                8   write: number of data bytes + 1 (for the PEC)
 *                9   read: number of bytes to read (at most CWPIPES_MAX_READ), the PEC
 *                    byte included when it is wanted
 *               10.. write: the data bytes, then the PEC (CRC-8, polynomial 0x07, over 0x16,
 *                    the command and the data)
 *   reply byte 0-9   bytes 0 to 9 of the request, except byte 6:
 *                6   CWPIPES_BYTE_ACK: non-zero when the gauge acknowledged
 *               10.. read: the bytes read from the gauge, in bus order (a word low byte
 *                    first; the PEC, when asked for, over 0x16, the command, 0x17 and the data)
 * The version request (opcode 0x8A, nothing else) is answered with a 32-bit little-endian
 * float at bytes 8 to 11 (the adapter's hardware version) and the firmware version's three
 * numbers at bytes 14, 13 and 12.
 * An interrupt-in read gets CWPIPES_STATUS_SIZE bytes: byte 0 is
 * CWPIPES_STATUS_REPLY_WAITING while a reply waits to be read, else CWPIPES_STATUS_IDLE; the
 * other bytes are 0.
 * Vendor requests travel as request type 0x40 (VendorControlOut) and 0xC0 (VendorControlIn);
 * the adapter's firmware decides which requests it answers. The simulated adapter keeps the
 * data of each VendorControlOut under its request, value and index and gives it back to a
 * VendorControlIn with the same three; any other VendorControlIn is refused (a stall).
 *
 * HANDLES
 * Handles are positive integers; -1 means the open failed. At most CWPIPES_MAX_HANDLES are
 * open at once. Numbers count up: a closed handle's number is not given out again while any
 * other number is free, so a stale copy fails instead of reaching another pipe. Closing a
 * handle twice is harmless (the second call fails).
 *
 * TRANSFERS
 * Every routine but the opens returns 1 on success and 0 on failure. Every `count` pointer may
 * be NULL; when given it receives the bytes moved. A BulkIn or BulkOut that fails after moving
 * part of the data (a time-out halfway) returns 0 and still counts that part; any other
 * failure counts 0. A NULL buffer is accepted only with a size of 0. One transfer moves at most
 * CWPIPES_MAX_TRANSFER bytes, either way (VendorControlOut's 16-bit length included); a larger
 * size is refused before the buffer is read or written. A BulkIn returns
 * after one packet: give it a buffer of CWPIPES_PACKET_SIZE bytes (a smaller one overflows).
 * A BulkOut longer than a packet goes out as several packets, each one request.
 *
 * TIME-OUTS
 * A BulkIn waits up to CWPIPES_TRANSFER_TIMEOUT_MS for a reply; a BulkOut waits as long for the
 * adapter to take the request (it holds one reply: a request is taken only once the previous
 * reply has been read); a vendor request waits up to CWPIPES_CONTROL_TIMEOUT_MS.
 * CwPipesSetTimeouts shortens them for every thread, for a program that polls.
 *
 * THREADS
 * Every routine may be called from any thread; a transfer blocked on one handle does not hold
 * up calls on other handles. But all handles reach one adapter with one reply slot: one
 * request and its reply are in flight per adapter at a time, and the calling program
 * serialises them. Two threads that each write a request and read a reply will get each
 * other's replies, as on any raw pipe.
 * The library's state lives until the process ends and is never torn down, so a thread still
 * inside a routine while the process exits is safe.
 *
 * ERRORS
 * After a failure CwPipesLastError() gives the calling thread the reason, one line starting
 * with the routine's name, and errno says its kind:
 *   EINVAL     CWPIPES_DEVICE, cellwarden.ini or the simulated pack's state file cannot be
 *              used (every routine then fails with the same reason); a NULL buffer with a
 *              non-zero size; a time-out out of range
 *   EMSGSIZE   a size beyond CWPIPES_MAX_TRANSFER
 *   ENODEV     no adapter is plugged in, it cannot be opened, or it went away while handles
 *              were open (close every handle and open again)
 *   EACCES     this user may not open the adapter (the udev rule 70-cellwarden.rules is missing)
 *   EBUSY      another program has claimed the adapter
 *   EMFILE     CWPIPES_MAX_HANDLES handles are open
 *   EBADF      the handle is not open (closed, stale, never handed out) or of another kind
 *   ETIMEDOUT  the adapter did not answer within the time-out
 *   EPIPE      the adapter refused the request (a stall)
 *   EIO        any other transfer failure, or a fault of the library itself
 * A successful call leaves errno and the last error text as they were.
 */
#ifndef CWPIPES_H
#define CWPIPES_H

#include <stdint.h>

#if defined(__GNUC__)
#define CWPIPES_API __attribute__((visibility("default")))
#else
#define CWPIPES_API
#endif

/* Limits */
#define CWPIPES_PACKET_SIZE 64
#define CWPIPES_MAX_HANDLES 64
#define CWPIPES_MAX_TRANSFER 4096
#define CWPIPES_TRANSFER_TIMEOUT_MS 60000
#define CWPIPES_CONTROL_TIMEOUT_MS 2000

/* Request and reply packets */
#define CWPIPES_OP_READ 0x02
#define CWPIPES_OP_WRITE 0x07
#define CWPIPES_OP_VERSION 0x8A
#define CWPIPES_BYTE_OPCODE 0
#define CWPIPES_BYTE_BUS 4
#define CWPIPES_BYTE_ADDRESS 5
#define CWPIPES_BYTE_ACK 6
#define CWPIPES_BYTE_COMMAND 7
#define CWPIPES_BYTE_WRITE_LENGTH 8
#define CWPIPES_BYTE_READ_LENGTH 9
#define CWPIPES_DATA_OFFSET 10
#define CWPIPES_BUS 0x02
#define CWPIPES_GAUGE_ADDRESS 0x16
#define CWPIPES_MAX_READ 54  /* CWPIPES_PACKET_SIZE - CWPIPES_DATA_OFFSET */
#define CWPIPES_MAX_WRITE 53 /* the same, less the PEC */
#define CWPIPES_BYTE_VERSION_FLOAT 8

/* Interrupt status */
#define CWPIPES_STATUS_SIZE 8
#define CWPIPES_STATUS_REPLY_WAITING 0x00
#define CWPIPES_STATUS_IDLE 0x01

/* Vendor request types */
#define CWPIPES_VENDOR_OUT 0x40
#define CWPIPES_VENDOR_IN 0xC0

#ifdef __cplusplus
extern "C" {
#endif

CWPIPES_API int OpenUsbPort_Control(void);
CWPIPES_API int OpenUsbPort_Bulkin(void);
CWPIPES_API int OpenUsbPort_Bulkout(void);
CWPIPES_API int OpenUsbPort_Interruptin(void);

CWPIPES_API int CloseUsbPort_Control(int handle);
CWPIPES_API int CloseUsbPort_Bulkin(int handle);
CWPIPES_API int CloseUsbPort_Bulkout(int handle);
CWPIPES_API int CloseUsbPort_Interruptin(int handle);

/* One read of up to `size` bytes; on an interrupt-in handle, one interrupt transfer. */
CWPIPES_API int BulkIn(int handle, uint8_t* buffer, uint32_t size, uint32_t* count);
/* One write of `size` bytes on a bulk-out handle. */
CWPIPES_API int BulkOut(int handle, const uint8_t* buffer, uint32_t size, uint32_t* count);

/* Vendor request (type 0xC0) reading up to `size` bytes (at most CWPIPES_MAX_TRANSFER). */
CWPIPES_API int VendorControlIn(int handle, uint8_t request, uint16_t value, uint16_t index,
                                uint32_t size, uint8_t* buffer, uint32_t* count);
/* Vendor request (type 0x40) sending `length` bytes of `data`: the type reaches 65535, the
 * library takes 0 to CWPIPES_MAX_TRANSFER. */
CWPIPES_API int VendorControlOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                                 uint16_t length, const uint8_t* data, uint32_t* count);

/* The reason for the calling thread's last failure, one line of UTF-8; "" before the first.
 * The text stays valid until the thread's next failing call. Never NULL. */
CWPIPES_API const char* CwPipesLastError(void);

/* Time-outs for every later transfer of every thread: BulkIn and BulkOut from 1 to
 * CWPIPES_TRANSFER_TIMEOUT_MS, vendor requests from 1 to CWPIPES_CONTROL_TIMEOUT_MS. 1 on
 * success; 0 (nothing changed) when a value is out of range or CWPIPES_DEVICE cannot be used. */
CWPIPES_API int CwPipesSetTimeouts(uint32_t transfer_ms, uint32_t control_ms);

#ifdef __cplusplus
}
#endif

#endif /* CWPIPES_H */
