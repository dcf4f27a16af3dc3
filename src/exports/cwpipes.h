/*
 * libcwpipes: the pipe routines of the Cellwarden USB-to-SMBus adapter for other programs.
 *
 * The adapter's bulk product is opened through libusb. A control handle carries vendor control
 * requests; the three pipe handles carry transfers on the adapter's endpoints:
 *   OpenUsbPort_Bulkin       PIPE00, bulk in       (endpoint 0x81)
 *   OpenUsbPort_Bulkout      PIPE01, bulk out      (endpoint 0x01)
 *   OpenUsbPort_Interruptin  PIPE02, interrupt in  (endpoint 0x82)
 * All handles share one open device; interface 0 is claimed by the first open and released
 * when the last handle is closed.
 *
 * Handles are small positive integers; -1 means the open failed. Every other routine returns
 * 1 on success and 0 on failure, including a handle that is closed, unknown or of the wrong
 * kind. Closing a handle twice is harmless (the second call returns 0). Every `count` pointer
 * may be NULL; when given it receives the bytes moved. A BulkIn or BulkOut that fails after
 * moving part of the data (a time-out halfway) returns 0 and still counts that part; any other
 * failure counts 0. A NULL buffer is accepted only with a size of 0.
 *
 * Time-outs: BulkIn and BulkOut wait at most 60000 ms, the vendor control requests 2000 ms.
 *
 * Setting the environment variable CWPIPES_DEVICE=sim before the first call makes the library
 * talk to the simulated pack instead of real hardware. Any other non-empty value except "usb"
 * and "auto" makes every open fail, so a mistyped name never reaches a real adapter by
 * surprise.
 *
 * All routines may be called from several threads; a transfer blocked on one handle does not
 * hold up calls on other handles.
 */
#ifndef CWPIPES_H
#define CWPIPES_H

#include <stdint.h>

#if defined(__GNUC__)
#define CWPIPES_API __attribute__((visibility("default")))
#else
#define CWPIPES_API
#endif

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

/* Vendor request (type 0xC0) reading `size` bytes (at most 65535) into `buffer`. */
CWPIPES_API int VendorControlIn(int handle, uint8_t request, uint16_t value, uint16_t index,
                                uint32_t size, uint8_t* buffer, uint32_t* count);
/* Vendor request (type 0x40) sending `length` bytes of `data`. */
CWPIPES_API int VendorControlOut(int handle, uint8_t request, uint16_t value, uint16_t index,
                                 uint16_t length, const uint8_t* data, uint32_t* count);

#ifdef __cplusplus
}
#endif

#endif /* CWPIPES_H */
