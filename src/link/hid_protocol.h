#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/function_ref.h"
#include "link/adapter_protocol.h"
#include "link/hid_backend.h"
#include "link/hid_reports.h"

namespace cw::link {

// A report buffer large enough for every feature report of the adapter.
using HidReport = std::array<std::uint8_t, hid::kMaxReportLength>;
// The adapter's open collections by slot of the usage table. Collections on one node share its
// one open handle.
using HidCollections = std::array<std::shared_ptr<HidCollection>, hid::kUsageTable.size()>;

// The HID adapter's protocol: every exchange is a request header (report 1 or 2), data reports
// and responses of four size classes, and the adapter's status fetch (report 10), each set and
// get on the collection that carries its report id, tried up to ten times.
class HidProtocol final : public AdapterProtocol {
 public:
  HidProtocol(ConnectionState& state, common::Clock& clock)
      : AdapterProtocol(clock), state_(state) {}

  // The collections of a fresh open; Close() first closes those of the previous one.
  void Attach(HidCollections collections) { collections_ = std::move(collections); }
  void Close() { collections_ = {}; }

  AttemptOutcome ReadWord(std::uint8_t command, std::uint16_t& value) override;
  AttemptOutcome ReadScanWord(std::uint8_t command, std::uint16_t& value) override;
  AttemptOutcome WriteWord(std::uint8_t command, std::uint16_t value) override;
  AttemptOutcome ReadCountedBlock(std::uint8_t command, std::size_t max_length,
                                  common::Bytes& data) override;
  AttemptOutcome ReadBlock(std::uint8_t command, std::uint8_t length, common::Bytes& out) override;
  AttemptOutcome WriteBlock(std::uint8_t command, common::ByteView data) override;
  AttemptOutcome WriteBytes(common::ByteView bytes) override;
  AttemptOutcome ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length,
                                       common::Bytes& out) override;
  AttemptOutcome ReadSubCmdReply(std::uint8_t subcommand, std::uint8_t length,
                                 common::Bytes& out) override;
  AttemptOutcome ReadFlashPage(std::uint8_t page, std::uint8_t count, common::Bytes& out) override;
  AttemptOutcome WriteFlashPage(std::uint8_t page, common::ByteView data) override;
  AttemptOutcome ReadFlashBlock(std::uint16_t selector, FlashBlock& block) override;
  bool WriteIspWord(std::uint16_t value, bool pec) override;
  IspStatusReply ReadIspStatus(bool pec) override;
  bool WriteIspRecord(common::ByteView record, bool pec) override;
  common::Millis IspRecordPollWait() const override;
  std::optional<AdapterVersion> ReadAdapterVersion() override;

  // --- the report exchanges the framing is made of; byte 0 of every report is its id ---
  bool HidSend(std::span<const std::uint8_t> request);
  bool HidSendQuick(std::span<const std::uint8_t> request);
  // `report` holds the data from byte 1; the id and length follow from `count`.
  bool HidSendData(std::size_t count, HidReport& report);
  bool HidSendDataQuick(std::size_t count, HidReport& report);
  // The gauge's status of the last write; nullopt when the exchange failed.
  std::optional<std::uint8_t> HidFetchStatus();
  std::optional<std::uint8_t> HidSendChecked(std::span<const std::uint8_t> request);
  // Header out, response in; `count` is the position of the status byte (bytes to read + 1).
  bool HidTransact(std::span<const std::uint8_t> request, std::size_t count, HidReport& response);
  bool HidTransactFast(std::span<const std::uint8_t> request, std::size_t count,
                       HidReport& response);
  bool HidTransactNoWait(std::span<const std::uint8_t> request, std::size_t count,
                         HidReport& response);

  // The kernel gives every HID feature report this long (its USB control time-out) before it
  // fails the ioctl, and hidapi has no way to ask for less. Not ours to wait: it is spent inside
  // the library, which is why a report that timed out is never tried again.
  static constexpr common::Millis kHidKernelTimeout{5000};

 protected:
  AttemptOutcome WriteParameterPage(std::uint8_t page, common::ByteView data) override;
  AttemptOutcome ConfirmParameterWrite() override;

 private:
  // Which of the three transact exchanges a read uses.
  enum class Pace { kSettled, kFast, kNoWait };
  struct ExchangeWaits {
    common::Millis after_failed_set;
    common::Millis after_failed_get;
  };

  // One read at 0x17 of `read_count` bytes (255: the gauge's count byte decides) with the
  // response of size class `count`; succeeds when the status after the bytes read is 0 and the
  // bytes are intact for `form`. Every read reply passes here.
  AttemptOutcome ReadWordPaced(std::uint8_t command, Pace pace, std::uint16_t& value);
  // The reply to a ManufacturerBlockAccess request already written.
  AttemptOutcome ReadManufacturerReply(std::uint8_t length, Pace pace, common::Bytes& out);
  AttemptOutcome Read(std::uint8_t command, std::uint8_t read_count, std::size_t count, Pace pace,
                      const ReplyForm& form, HidReport& response);
  // Header with the count byte, data report with PEC, settle, status.
  AttemptOutcome BlockWrite(std::uint8_t command, common::ByteView data, common::Millis settle);
  // The status of the last write, fetched after `settle`.
  AttemptOutcome WriteStatus(common::Millis settle);

  HidCollection* CollectionFor(std::uint8_t report_id);
  bool TryReport(std::uint8_t report_id, common::Millis wait_after_failure,
                 common::FunctionRef<bool(HidCollection&)> exchange);
  bool SetReport(std::span<const std::uint8_t> report, common::Millis wait_after_failure);
  bool GetReport(std::span<std::uint8_t> report, common::Millis wait_after_failure);
  bool SendData(std::size_t count, HidReport& report, common::Millis wait_after_failure);
  bool Transact(std::span<const std::uint8_t> request, std::size_t count, HidReport& response,
                ExchangeWaits waits, common::Millis between);
  void Wait(common::Millis duration);

  ConnectionState& state_;
  HidCollections collections_;
};

// Waits of one HID exchange, by the header's write count W, read count R and response size N.
common::Millis TransactSettleTime(std::uint8_t write_count, std::uint8_t read_count,
                                  std::size_t count);
common::Millis TransactFastSettleTime(std::uint8_t write_count, std::size_t count);
common::Millis SendCheckedSettleTime(std::uint8_t write_count);

}  // namespace cw::link
