#pragma once

namespace cw::monitor {

// How a scan pass learns, between two transactions, whether it may go on. The worker's pause
// gate implements it; a one-shot pass on the caller's thread uses the default.
class TransactionGate {
 public:
  virtual ~TransactionGate() = default;
  // Called before each transaction; may block while the scan is paused. False: stop now.
  virtual bool BeforeTransaction() { return true; }
  // Called after each transaction, with the bus lock released again.
  virtual void AfterTransaction() {}
};

}  // namespace cw::monitor
