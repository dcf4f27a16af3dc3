#pragma once

#include <expected>
#include <string>

#include "common/clock.h"

namespace cw::sim {

// Keeps a pack's state file to one user at a time, from before it is read until after it is
// saved, so that two processes (or two packs of one process) never both load the same state and
// one save wipe out the other's change. It holds an exclusive flock on a lock file beside the
// state file ("<state file>.lock", holding the holder's process id, so that a refusal can say who
// has it) and removes that file again when it lets go. A user's script may hold the same lock
// with flock(1) to keep the tool off the file for a while.
//
// The state file itself cannot carry the lock: a save renames a new file over it, and a lock on
// the old one would no longer keep anyone from the new.
class StateFileLock {
 public:
  // Takes the lock, waiting on `clock` up to `wait` while another holder has it. Holds nothing,
  // and succeeds, where no lock file can exist: the state file is no regular file (loading it is
  // refused anyway), or its folder is missing or cannot take files (no save can happen there
  // either, so nothing can be lost).
  static std::expected<StateFileLock, std::string> Acquire(const std::string& state_file,
                                                           common::Millis wait,
                                                           common::Clock& clock);

  StateFileLock() = default;
  StateFileLock(StateFileLock&& other) noexcept;
  StateFileLock& operator=(StateFileLock&& other) noexcept;
  StateFileLock(const StateFileLock&) = delete;
  StateFileLock& operator=(const StateFileLock&) = delete;
  ~StateFileLock();

  bool held() const { return fd_ >= 0; }

 private:
  StateFileLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  void Release();

  int fd_ = -1;
  std::string path_;
};

}  // namespace cw::sim
