// The exported C routines: a thin shell that checks the caller's pointers and hands over to
// the handle table. No exception may leave a C entry point, so each body is guarded.

#include "exports/cwpipes.h"

#include <cstdlib>
#include <span>

#include "exports/pipe_library.h"

namespace {

using cw::exports::PipeKind;
using cw::exports::PipeTable;

// The one piece of state a C interface cannot do without. It is created by the first call,
// which reads CWPIPES_DEVICE; C++ runs that initialisation exactly once even when several
// threads call at the same time. Every later change happens inside the PipeTable, under its
// mutex.
PipeTable* Table() {
  static cw::exports::PipeLibrary library = [] {
    const auto constants = cw::exports::LibraryConstants();
    if (!constants) return cw::exports::PipeLibrary(cw::exports::PipeBackendChoice::kNone);
    return cw::exports::PipeLibrary(
        cw::exports::ChooseBackend(std::getenv(cw::exports::kDeviceVariable)), *constants);
  }();
  return library.table();
}

template <typename Body>
int Guarded(int failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

int OpenPort(PipeKind kind) {
  return Guarded(cw::exports::kInvalidHandle, [&] {
    PipeTable* table = Table();
    return table != nullptr ? table->Open(kind) : cw::exports::kInvalidHandle;
  });
}

int ClosePort(PipeKind kind, int handle) {
  return Guarded(0, [&] {
    PipeTable* table = Table();
    return table != nullptr && table->Close(kind, handle) ? 1 : 0;
  });
}

// Runs one transfer with the caller's optional count pointer; a null buffer is accepted only
// for a zero-length transfer.
template <typename Transfer>
int Move(const void* buffer, std::uint32_t size, std::uint32_t* count, Transfer transfer) {
  if (count != nullptr) *count = 0;
  if (buffer == nullptr && size != 0) return 0;
  return Guarded(0, [&] {
    PipeTable* table = Table();
    if (table == nullptr) return 0;
    std::uint32_t moved = 0;
    const bool ok = transfer(*table, moved);
    if (count != nullptr) *count = moved;
    return ok ? 1 : 0;
  });
}

}  // namespace

extern "C" {

int OpenUsbPort_Control(void) { return OpenPort(PipeKind::kControl); }
int OpenUsbPort_Bulkin(void) { return OpenPort(PipeKind::kBulkIn); }
int OpenUsbPort_Bulkout(void) { return OpenPort(PipeKind::kBulkOut); }
int OpenUsbPort_Interruptin(void) { return OpenPort(PipeKind::kInterruptIn); }

int CloseUsbPort_Control(int handle) { return ClosePort(PipeKind::kControl, handle); }
int CloseUsbPort_Bulkin(int handle) { return ClosePort(PipeKind::kBulkIn, handle); }
int CloseUsbPort_Bulkout(int handle) { return ClosePort(PipeKind::kBulkOut, handle); }
int CloseUsbPort_Interruptin(int handle) { return ClosePort(PipeKind::kInterruptIn, handle); }

int BulkIn(int handle, uint8_t* buffer, uint32_t size, uint32_t* count) {
  return Move(buffer, size, count, [&](PipeTable& table, std::uint32_t& moved) {
    return table.BulkIn(handle, std::span<std::uint8_t>(buffer, size), moved);
  });
}

int BulkOut(int handle, const uint8_t* buffer, uint32_t size, uint32_t* count) {
  return Move(buffer, size, count, [&](PipeTable& table, std::uint32_t& moved) {
    return table.BulkOut(handle, std::span<const std::uint8_t>(buffer, size), moved);
  });
}

int VendorControlIn(int handle, uint8_t request, uint16_t value, uint16_t index, uint32_t size,
                    uint8_t* buffer, uint32_t* count) {
  return Move(buffer, size, count, [&](PipeTable& table, std::uint32_t& moved) {
    return table.VendorControlIn(handle, {request, value, index},
                                 std::span<std::uint8_t>(buffer, size), moved);
  });
}

int VendorControlOut(int handle, uint8_t request, uint16_t value, uint16_t index, uint16_t length,
                     const uint8_t* data, uint32_t* count) {
  return Move(data, length, count, [&](PipeTable& table, std::uint32_t& moved) {
    return table.VendorControlOut(handle, {request, value, index},
                                  std::span<const std::uint8_t>(data, length), moved);
  });
}

}  // extern "C"
