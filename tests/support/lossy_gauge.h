#pragma once

#include <functional>

#include "support/link_fixture.h"

namespace cw::test {

// The simulated gauge behind a filter on the bus: every exchange reaches it unless a test
// refuses it, and the answers a test names are lost on the way back. A lost acknowledgement is
// a write the gauge carried out that the host sees refused; a lost reply is a read it sees
// fail. Put in place for the life of the object.
class LossyGauge {
 public:
  explicit LossyGauge(LinkFixture& fx) : fx_(fx) {
    target_.on_write = [this](common::ByteView bytes) {
      if (refuse && refuse(bytes)) return false;
      const bool taken = fx_.pack->gauge().Write(bytes);
      return taken && !(lose_ack && lose_ack(bytes));
    };
    target_.on_read = [this](std::uint8_t command,
                             std::size_t count) -> std::optional<common::Bytes> {
      if (lose_reply && lose_reply(command)) return std::nullopt;
      return fx_.pack->gauge().Read(command, count);
    };
    fx_.pack->ReplaceTarget(&target_);
  }
  ~LossyGauge() { fx_.pack->ReplaceTarget(nullptr); }
  LossyGauge(const LossyGauge&) = delete;
  LossyGauge& operator=(const LossyGauge&) = delete;

  // Writes (command first) that never reach the gauge.
  std::function<bool(common::ByteView)> refuse;
  // Writes the gauge carries out while the host is told they were refused.
  std::function<bool(common::ByteView)> lose_ack;
  // Reads of a command that fail.
  std::function<bool(std::uint8_t)> lose_reply;

 private:
  LinkFixture& fx_;
  ScriptedTarget target_;
};

}  // namespace cw::test
