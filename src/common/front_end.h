#pragma once

// The seam between the core and its front ends (the Qt GUI, the command line, the exported
// routines). A front end implements the sink interfaces below, gives them to the Workbench, and
// subscribes to the change notifications of the page and tool objects the Workbench owns.
// Nothing else of a front end reaches the core, and nothing here knows Qt.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cw::common {

// ---------------------------------------------------------------- messages (ShowMessage)

enum class MessageIcon { kNone, kInformation, kWarning, kError };

struct ShownMessage {
  std::string text;
  MessageIcon icon = MessageIcon::kInformation;
  bool operator==(const ShownMessage&) const = default;
};

// The product's one way to tell the user something. May be called from any thread. The core
// never calls it while it holds the bus lock or a page's own mutex, so an implementation may
// block until the user answers (a modal box) without stalling the scan or a worker's report.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(std::string_view text, MessageIcon icon = MessageIcon::kInformation) = 0;
  // Why the adapter link stopped working (it stopped answering, or cannot be opened). It holds
  // until a transaction succeeds again, so a front end may keep it in view for that long
  // instead of asking for an answer; by default it is a message like any other.
  virtual void ShowLinkNotice(std::string_view text) { Show(text, MessageIcon::kWarning); }
};

// ---------------------------------------------------------------- task progress

// Which progress display a long task drives: the main window's task progress (scan, data
// flash), one of the calibration page's two bars, or the play of an FS script.
enum class TaskKind { kSbsScan, kDataFlash, kOffsetCalibration, kCalibration, kFsScript };

// TaskProgressMessage: `done` steps of `total`. A report with done 0 starts the bar, done ==
// total completes it. Called on the worker's thread; the front end marshals it.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void TaskProgress(TaskKind kind, int total, int done) = 0;
};

// ---------------------------------------------------------------- routes

// Sinks that pass everything on to another sink, which may be changed while they are in use: a
// Workbench lent to a production station speaks through the station's lane for as long as it is
// lent, and through its front end again afterwards. A message on its way when the route changes
// still reaches the sink it started for, which therefore has to outlive the change.
class MessageRoute final : public MessageSink {
 public:
  explicit MessageRoute(MessageSink& to) : to_(&to) {}
  void RouteTo(MessageSink& to) { to_.store(&to); }
  void Show(std::string_view text, MessageIcon icon) override { to_.load()->Show(text, icon); }
  void ShowLinkNotice(std::string_view text) override { to_.load()->ShowLinkNotice(text); }

 private:
  std::atomic<MessageSink*> to_;
};

class ProgressRoute final : public ProgressSink {
 public:
  explicit ProgressRoute(ProgressSink& to) : to_(&to) {}
  void RouteTo(ProgressSink& to) { to_.store(&to); }
  void TaskProgress(TaskKind kind, int total, int done) override {
    to_.load()->TaskProgress(kind, total, done);
  }

 private:
  std::atomic<ProgressSink*> to_;
};

// ---------------------------------------------------------------- bus tracing

// One line per report, packet or event, prefixed by the layer that wrote it ("hid", "bulk",
// "sim", ...). Front ends decide where it goes (--trace writes it to stderr).
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Trace(std::string_view layer, std::string_view text) = 0;
};

// ---------------------------------------------------------------- scan pause, main-window lock

// Tool windows keep other gauge traffic off the bus while they are open: the scan worker stops
// between two transactions (never holding the bus lock) and starts none until resumed. Pauses
// nest.
class ScanPause {
 public:
  virtual ~ScanPause() = default;
  virtual void PauseScan() = 0;
  virtual void ResumeScan() = 0;
};

// Around long firmware-tool jobs, and while a station holds the gauge, the main window greys its
// file commands and disables the data flash, calibration and SMB access pages. Counted: the window
// is free again when the last hold ends, so one holder's end never frees what another still
// holds. Take it through MainUiHold.
class MainUiLock {
 public:
  virtual ~MainUiLock() = default;
  virtual void LockMainUi() = 0;    // one hold more
  virtual void UnlockMainUi() = 0;  // one hold fewer
};

// One hold of the main window's lock, for as long as it lives or until Release().
class MainUiHold {
 public:
  MainUiHold() = default;
  explicit MainUiHold(MainUiLock& lock) : lock_(&lock) { lock.LockMainUi(); }
  MainUiHold(MainUiHold&& other) noexcept : lock_(std::exchange(other.lock_, nullptr)) {}
  MainUiHold& operator=(MainUiHold&& other) noexcept {
    if (this != &other) {
      Release();
      lock_ = std::exchange(other.lock_, nullptr);
    }
    return *this;
  }
  ~MainUiHold() { Release(); }
  void Release() {
    if (MainUiLock* lock = std::exchange(lock_, nullptr)) lock->UnlockMainUi();
  }
  bool held() const { return lock_ != nullptr; }

 private:
  MainUiLock* lock_ = nullptr;
};

// ---------------------------------------------------------------- change notifications

// Ends a subscription when destroyed (or reset). Safe to outlive the list it came from.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      Reset();
      cancel_ = std::exchange(other.cancel_, {});
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { Reset(); }

  void Reset() {
    if (cancel_) std::exchange(cancel_, {})();
  }

 private:
  std::function<void()> cancel_;
};

// A list of listeners for one kind of change, offered by every page and tool object. Notify may
// run on any thread (the scan worker, a firmware worker); listeners run on that thread and must
// not block: a GUI forwards the call to its own thread and returns. Once Reset (or the
// Subscription's destructor) returns on another thread, the listener is not called again.
template <typename... Args>
class Observers {
 public:
  using Listener = std::function<void(Args...)>;

  Observers() : state_(std::make_shared<State>()) {}
  Observers(const Observers&) = delete;
  Observers& operator=(const Observers&) = delete;

  [[nodiscard]] Subscription Subscribe(Listener listener) {
    std::lock_guard lock(state_->mutex);
    const std::size_t id = ++state_->last_id;
    state_->listeners.push_back({id, std::make_shared<Listener>(std::move(listener))});
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (const auto state = weak.lock()) {
        std::lock_guard lock(state->mutex);
        std::erase_if(state->listeners, [id](const Entry& entry) { return entry.id == id; });
      }
    });
  }

  void Notify(Args... args) const {
    // Held while the listeners run, so that an unsubscribing thread waits for the call in
    // progress; recursive, so that a listener may subscribe or unsubscribe itself.
    std::lock_guard lock(state_->mutex);
    const std::vector<Entry> listeners = state_->listeners;
    for (const Entry& entry : listeners) (*entry.listener)(args...);
  }

  std::size_t size() const {
    std::lock_guard lock(state_->mutex);
    return state_->listeners.size();
  }

 private:
  struct Entry {
    std::size_t id;
    std::shared_ptr<Listener> listener;
  };
  struct State {
    std::recursive_mutex mutex;
    std::vector<Entry> listeners;
    std::size_t last_id = 0;
  };
  std::shared_ptr<State> state_;
};

// ---------------------------------------------------------------- outcomes

enum class Verdict {
  kDone,     // did what was asked, and the effect was confirmed
  kRefused,  // the input or the gauge's state ruled it out before anything was sent
  kFailed,   // tried and did not get there; the messages say what state things are in now
};

// What one page or tool operation did, as data: a front end decides from it what to show and
// which exit status to give, never from the text of a message.
struct Outcome {
  Verdict verdict = Verdict::kFailed;
  // Something was written to the gauge (also when the operation then failed).
  bool gauge_changed = false;
  // The messages the operation showed, in order.
  std::vector<ShownMessage> messages;

  bool done() const { return verdict == Verdict::kDone; }
  explicit operator bool() const { return done(); }
  bool Showed(std::string_view text) const;
};

// An outcome with the operation's own result code, for front ends that show more than what
// the verdict says (a data flash edit tells a refused value from a row the gauge kept).
template <typename Detail>
struct OutcomeOf : Outcome {
  Detail detail{};
};

// Collects what one operation tells the user and hands it to the real sink when the builder
// goes out of scope. Declared first in an operation, it is destroyed last, after every lock the
// operation took: `return outcome.Failed();` inside a locked block shows nothing until that
// lock is released. Give it to code that takes a MessageSink to keep that code's messages for
// the end as well.
class OutcomeBuilder final : public MessageSink {
 public:
  explicit OutcomeBuilder(MessageSink& sink) : sink_(sink) {}
  OutcomeBuilder(const OutcomeBuilder&) = delete;
  OutcomeBuilder& operator=(const OutcomeBuilder&) = delete;
  // Shows what was collected and not yet shown.
  ~OutcomeBuilder() override;

  void Show(std::string_view text, MessageIcon icon = MessageIcon::kInformation) override;
  void GaugeChanged() { gauge_changed_ = true; }
  bool gauge_changed() const { return gauge_changed_; }

  // The outcome so far, with every message collected; they are shown when the builder goes.
  Outcome Finish(Verdict verdict);
  Outcome Done() { return Finish(Verdict::kDone); }
  Outcome Refused() { return Finish(Verdict::kRefused); }
  Outcome Failed() { return Finish(Verdict::kFailed); }
  template <typename Detail>
  OutcomeOf<Detail> Finish(Verdict verdict, Detail detail) {
    OutcomeOf<Detail> outcome{Finish(verdict)};
    outcome.detail = detail;
    return outcome;
  }
  // Takes in the outcome of an operation this one ran: its messages (already shown) become
  // part of this outcome, and so does a change to the gauge.
  void Absorb(const Outcome& inner);

 private:
  struct Collected {
    ShownMessage message;
    bool shown = false;
  };

  MessageSink& sink_;
  std::vector<Collected> collected_;
  bool gauge_changed_ = false;
};

}  // namespace cw::common
