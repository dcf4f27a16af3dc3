#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/front_end.h"
#include "firmware/fs_script_reader.h"
#include "link/gauge_link.h"

// Playing a checked FS script on one adapter: W: lines are written, C: lines read and compared
// byte for byte with the count and the PEC, X: lines waited on the link's clock.
namespace cw::firmware {

// A C: line right after a write may meet a gauge still busy with it (the update scripts poll
// the boot loader's status that way). It is read again until it matches, for as long as the
// update protocol lets the boot loader be busy: its longest poll is 49 reads 10 ms apart after
// the second handshake word (a record allows 49 reads 5 ms apart), so 500 ms on the link's
// clock, reading again every 5 ms.
inline constexpr common::Millis kFsBusyCompareBound{500};
inline constexpr common::Millis kFsBusyCompareInterval{5};

enum class FsPlayEnd {
  kDone,         // every line done, every compare matched
  kRefused,      // the script has problems, or no file: nothing was played
  kWriteFailed,  // a W: line was not acknowledged
  kReadFailed,   // a C: line got no reply
  kMismatch,     // a C: line read other bytes
  kStopped,      // asked to stop, between two lines
};

struct FsPlayReport {
  FsPlayEnd end = FsPlayEnd::kRefused;
  FsCheckReport check;  // what the check before the play found
  int lines = 0;        // lines of the file
  int steps = 0;        // W:, C: and X: lines
  int steps_done = 0;
  int last_line_done = 0;  // file line of the last W:, C: or X: done; 0 for none
  int stopped_at = 0;      // file line that failed or was not started; 0 when done
  bool written = false;    // at least one W: line reached the pack
  // A failed compare: what the line expects (data, then PEC) and what was read last.
  common::Bytes expected;
  common::Bytes read;
};

// Where a play is, for a progress display on any thread.
struct FsPlayProgress {
  int line = 0;  // file line of the last step done
  int lines = 0;
  common::Millis elapsed{0};
  // Waits still to come plus the transactions still to come at the pace so far; nothing before
  // the first transaction.
  std::optional<common::Millis> remaining;
};

// One player per link: a station that drives several adapters gives each its own. It takes the
// bus lock for each transaction as the link does; the caller keeps other traffic off the bus
// (pauses the scan) for the length of a play, as for a firmware update.
class FsPlayer {
 public:
  FsPlayer(link::GaugeLink& link, common::MessageSink& messages, common::ProgressSink& progress);

  // Checks the script in `path` and plays it when it is clean. Refused without touching the pack
  // when the file cannot be read or has any problem. A stop request is honoured between lines,
  // never inside a write. Progress goes to the sink as TaskKind::kFsScript with the file's line
  // count as the total and the line of the last step done.
  common::OutcomeOf<FsPlayReport> PlayFile(const std::filesystem::path& path,
                                           std::stop_token stop = {});
  // The same with a script already checked clean.
  common::OutcomeOf<FsPlayReport> Play(const FsScript& script, std::stop_token stop = {});

  FsPlayProgress Progress() const;

 private:
  struct Read {
    bool answered = false;
    common::Bytes bytes;  // data then PEC, as the gauge drove them
  };

  bool Write(const FsStep& step);
  Read ReadOnce(const FsStep& step);
  // Reads until the bytes match; once for a line after a wait, for the bounded time after a
  // write.
  Read Compare(const FsStep& step);
  // False when a stop request cut the wait short.
  bool Wait(common::Millis duration, const std::stop_token& stop);
  // Moves the progress and its estimate past `step`.
  void StepDone(const FsStep& step, int lines);

  link::GaugeLink& link_;
  common::Clock& clock_;
  common::MessageSink& messages_;
  common::ProgressSink& progress_;

  mutable std::mutex mutex_;
  FsPlayProgress progress_now_;
  // The play in progress, touched by its thread only: what is still to come, for the estimate.
  common::Millis waits_left_{0};
  int transactions_left_ = 0;
  common::Millis start_{0};
  common::Millis waited_{0};
  int transactions_done_ = 0;
};

// Whether a compare read `read` for `step`: every data byte, the count among them, and the PEC.
bool FsCompareMatches(const FsStep& step, common::ByteView read);

}  // namespace cw::firmware
