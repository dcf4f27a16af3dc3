// The exported C routines: a thin shell that checks the caller's pointers, hands over to the
// handle table and keeps the reason for a failure where CwPipesLastError finds it. No exception
// may leave a C entry point, so each body is guarded.

#include "exports/cwpipes.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>
#include <string_view>

#include "exports/messages.h"
#include "exports/pipe_library.h"
#include "link/bulk_packets.h"
#include "sim/adapter_identity.h"

namespace {

namespace bulk = cw::link::bulk;
namespace adapter = cw::sim::adapter;
using cw::exports::PipeFailure;
using cw::exports::PipeFailureKind;
using cw::exports::PipeKind;
using cw::exports::PipeLibrary;
using cw::exports::PipeTable;

// The header states the protocol in C for the library's clients; it must say what the adapter
// and the library do.
static_assert(CWPIPES_PACKET_SIZE == bulk::kPacketLength);
static_assert(CWPIPES_MAX_HANDLES == cw::exports::kMaxHandles);
static_assert(CWPIPES_MAX_TRANSFER == cw::exports::kMaxTransferLength);
static_assert(CWPIPES_TRANSFER_TIMEOUT_MS == cw::exports::kPipeTimeoutMs);
static_assert(CWPIPES_CONTROL_TIMEOUT_MS == cw::exports::kControlTimeoutMs);
static_assert(CWPIPES_OP_READ == bulk::kOpRead && CWPIPES_OP_WRITE == bulk::kOpWrite &&
              CWPIPES_OP_VERSION == bulk::kOpVersion);
static_assert(CWPIPES_BYTE_OPCODE == bulk::kOpcodeByte && CWPIPES_BYTE_BUS == bulk::kBusByte &&
              CWPIPES_BYTE_ADDRESS == bulk::kAddressByte && CWPIPES_BYTE_ACK == bulk::kAckByte &&
              CWPIPES_BYTE_COMMAND == bulk::kCommandByte &&
              CWPIPES_BYTE_WRITE_LENGTH == bulk::kWriteLengthByte &&
              CWPIPES_BYTE_READ_LENGTH == bulk::kReadLengthByte &&
              CWPIPES_DATA_OFFSET == bulk::kDataStart &&
              CWPIPES_BYTE_VERSION_FLOAT == bulk::kVersionFloatByte);
static_assert(CWPIPES_BUS == bulk::kBusValue);
static_assert(CWPIPES_MAX_READ == bulk::kMaxReadLength &&
              CWPIPES_MAX_WRITE == bulk::kMaxWriteLength);
static_assert(CWPIPES_STATUS_SIZE == adapter::kInterruptStatusLength &&
              CWPIPES_STATUS_REPLY_WAITING == adapter::kReplyWaiting &&
              CWPIPES_STATUS_IDLE == adapter::kIdle);
static_assert(CWPIPES_VENDOR_OUT == cw::exports::kVendorOutRequestType &&
              CWPIPES_VENDOR_IN == cw::exports::kVendorInRequestType);

// The reason for this thread's last failure. A plain array, not a string: there is nothing to
// destroy when the thread or the process ends while another thread may still be calling in.
constexpr std::size_t kLastErrorCapacity = 1024;
thread_local char last_error[kLastErrorCapacity] = "";

void Remember(const PipeFailure& failure) {
  std::size_t length = std::min(failure.text.size(), kLastErrorCapacity - 1);
  // A cut text must not end inside a UTF-8 sequence (a path in it may hold one).
  if (length < failure.text.size()) {
    while (length > 0 && (static_cast<unsigned char>(failure.text[length]) & 0xC0) == 0x80) {
      --length;
    }
  }
  std::copy_n(failure.text.data(), length, last_error);
  last_error[length] = '\0';
  errno = cw::exports::ErrnoOf(failure.kind);
}

void SaveStateAtExit();

// Built by the first call and never destroyed: a thread of the calling program may still be
// inside a routine while the process exits, and must not meet a torn-down table. The pointer
// keeps it reachable, so leak checkers do not count it. C++ runs this initialisation exactly
// once even when several threads make their first call at the same time.
PipeLibrary& Library() {
  static PipeLibrary* const library = [] {
    auto* made =
        new PipeLibrary(std::getenv(cw::exports::kDeviceVariable), cw::exports::LibraryConstants());
    if (made->keeps_state()) std::atexit(SaveStateAtExit);
    return made;
  }();
  return *library;
}

// The simulated pack keeps its state file as the command-line tool does: saved at exit.
// Nothing is destroyed, so a thread still inside a routine carries on safely meanwhile.
void SaveStateAtExit() {
  const auto saved = Library().SaveState();
  if (!saved) {
    std::fputs(fmt::format("libcwpipes: {}\n", saved.error()).c_str(), stderr);
  }
}

// Runs one routine: `body` gets the table and returns `failed` with the reason in its
// PipeFailure, or anything else on success. errno is left as it was on success (so nothing the
// library did on the way shows through) and set to the failure's kind otherwise.
template <typename Body>
int Run(std::string_view routine, int failed, Body body) noexcept {
  const int saved_errno = errno;
  PipeFailure failure{PipeFailureKind::kInternal, {}};
  int result = failed;
  try {
    PipeTable* table = Library().table();
    if (table == nullptr) {
      failure = Library().SetupFailure(routine);
    } else {
      result = body(*table, failure);
    }
  } catch (const std::exception& error) {
    result = failed;
    failure = {PipeFailureKind::kInternal,
               fmt::format(cw::exports::messages::kInternal, routine, error.what())};
  } catch (...) {
    result = failed;
    failure = {PipeFailureKind::kInternal, fmt::format(cw::exports::messages::kInternal, routine,
                                                       "an exception of unknown type")};
  }
  if (result == failed) {
    Remember(failure);
  } else {
    errno = saved_errno;
  }
  return result;
}

int OpenPort(PipeKind kind) {
  return Run(cw::exports::OpenRoutineName(kind), cw::exports::kInvalidHandle,
             [&](PipeTable& table, PipeFailure& failure) { return table.Open(kind, &failure); });
}

int ClosePort(PipeKind kind, int handle) {
  return Run(cw::exports::CloseRoutineName(kind), 0, [&](PipeTable& table, PipeFailure& failure) {
    return table.Close(kind, handle, &failure) ? 1 : 0;
  });
}

// Runs one transfer with the caller's optional count pointer; a null buffer is accepted only
// for a zero-length transfer.
template <typename Transfer>
int Move(std::string_view routine, const void* buffer, std::uint32_t size, std::uint32_t* count,
         Transfer transfer) {
  if (count != nullptr) *count = 0;
  return Run(routine, 0, [&](PipeTable& table, PipeFailure& failure) {
    if (buffer == nullptr && size != 0) {
      failure = {PipeFailureKind::kBadArgument,
                 fmt::format("{}: the buffer is NULL but the size is {}", routine, size)};
      return 0;
    }
    std::uint32_t moved = 0;
    const bool ok = transfer(table, moved, failure);
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
  return Move("BulkIn", buffer, size, count,
              [&](PipeTable& table, std::uint32_t& moved, PipeFailure& failure) {
                return table.BulkIn(handle, std::span<std::uint8_t>(buffer, size), moved, &failure);
              });
}

int BulkOut(int handle, const uint8_t* buffer, uint32_t size, uint32_t* count) {
  return Move("BulkOut", buffer, size, count,
              [&](PipeTable& table, std::uint32_t& moved, PipeFailure& failure) {
                return table.BulkOut(handle, std::span<const std::uint8_t>(buffer, size), moved,
                                     &failure);
              });
}

int VendorControlIn(int handle, uint8_t request, uint16_t value, uint16_t index, uint32_t size,
                    uint8_t* buffer, uint32_t* count) {
  return Move("VendorControlIn", buffer, size, count,
              [&](PipeTable& table, std::uint32_t& moved, PipeFailure& failure) {
                return table.VendorControlIn(handle, {request, value, index},
                                             std::span<std::uint8_t>(buffer, size), moved,
                                             &failure);
              });
}

int VendorControlOut(int handle, uint8_t request, uint16_t value, uint16_t index, uint16_t length,
                     const uint8_t* data, uint32_t* count) {
  return Move("VendorControlOut", data, length, count,
              [&](PipeTable& table, std::uint32_t& moved, PipeFailure& failure) {
                return table.VendorControlOut(handle, {request, value, index},
                                              std::span<const std::uint8_t>(data, length), moved,
                                              &failure);
              });
}

const char* CwPipesLastError(void) { return last_error; }

int CwPipesSetTimeouts(uint32_t transfer_ms, uint32_t control_ms) {
  return Run("CwPipesSetTimeouts", 0, [&](PipeTable& table, PipeFailure& failure) {
    return table.SetTimeouts({transfer_ms, control_ms}, &failure) ? 1 : 0;
  });
}

}  // extern "C"
