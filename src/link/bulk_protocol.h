#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "common/bytes.h"
#include "common/clock.h"
#include "link/adapter_protocol.h"
#include "link/bulk_packets.h"
#include "link/usb_backend.h"

namespace cw::link {

// The bulk adapter's protocol: every exchange is one or two SMBus commands, each a 64-byte
// request packet out on 0x01 and its reply in on 0x81, on the claimed interface 0. The adapter
// appends the PEC of every write itself and reports the gauge's acknowledge in the reply.
class BulkProtocol final : public AdapterProtocol {
 public:
  BulkProtocol(ConnectionState& state, UsbBackend& usb, common::Clock& clock)
      : AdapterProtocol(clock), state_(state), usb_(usb) {}
  ~BulkProtocol() override { Close(); }

  // The device of a fresh open, interface 0 claimed.
  void Attach(std::unique_ptr<UsbDevice> device) { device_ = std::move(device); }
  // Releases the interface and closes the device.
  void Close();

  AttemptOutcome ReadWord(std::uint8_t command, std::uint16_t& value) override;
  AttemptOutcome WriteWord(std::uint8_t command, std::uint16_t value) override;
  AttemptOutcome ReadCountedBlock(std::uint8_t command, std::size_t max_length,
                                  common::Bytes& data) override;
  AttemptOutcome ReadBlock(std::uint8_t command, std::uint8_t length, common::Bytes& out) override;
  AttemptOutcome WriteBlock(std::uint8_t command, common::ByteView data) override;
  AttemptOutcome WriteBytes(common::ByteView bytes) override;
  AttemptOutcome ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length,
                                       common::Bytes& out) override;
  AttemptOutcome ReadFlashPage(std::uint8_t page, std::uint8_t count, common::Bytes& out) override;
  AttemptOutcome WriteFlashPage(std::uint8_t page, common::ByteView data) override;
  AttemptOutcome ReadFlashBlock(std::uint16_t selector, FlashBlock& block) override;
  bool WriteIspWord(std::uint16_t value, bool pec) override;
  IspStatusReply ReadIspStatus(bool pec) override;
  bool WriteIspRecord(common::ByteView record, bool pec) override;
  common::Millis IspRecordPollWait() const override;
  std::optional<AdapterVersion> ReadAdapterVersion() override;

  // An unplugged adapter must not hang the program: every bulk command transfer gives up after
  // this long (the adapter answers within a few milliseconds when present).
  static constexpr unsigned kBulkCommandTimeoutMs = 1000;
  // The adapter's version reply may take longer while it boots.
  static constexpr unsigned kBulkVersionTimeoutMs = 5000;

 protected:
  AttemptOutcome WriteParameterPage(std::uint8_t page, common::ByteView data) override;
  AttemptOutcome ConfirmParameterWrite() override;

 private:
  // Reads `out.size()` bytes the gauge returns for `command`; false also when they are not
  // intact for `form`. Every read reply passes here.
  bool ReadCommand(std::uint8_t command, const ReplyForm& form, std::span<std::uint8_t> out);
  // Writes `data` after `command`; the adapter-level PEC is appended.
  bool WriteCommand(std::uint8_t command, common::ByteView data);
  bool Exchange(std::span<std::uint8_t, bulk::kPacketLength> packet, unsigned timeout_ms);
  bool TransferWhole(std::uint8_t endpoint, std::span<std::uint8_t, bulk::kPacketLength> packet,
                     unsigned timeout_ms);
  bool Drop();

  ConnectionState& state_;
  UsbBackend& usb_;
  std::unique_ptr<UsbDevice> device_;
};

}  // namespace cw::link
