#pragma once

#include <cstdint>
#include <cstdlib>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "production/records.h"

// The records of a station: runs, steps and serial numbers, in a SQLite file on the station or
// in a PostgreSQL database that several stations share. Every method is one transaction and may
// be called from any thread; a process may hold one store for all its workers or one each, and
// any number of processes and stations may use the same records at once.
namespace cw::production {

enum class StoreProblem {
  kUnavailable,     // the file or server cannot be opened, or went away
  kNotRecords,      // the file or database holds something else, or nothing; left untouched
  kReplaced,        // the records were deleted or replaced while the store had them open
  kNewerSchema,     // the records were written by a newer Cellwarden
  kRangeExhausted,  // every number of the serial range is issued
  kNoSuchRun,
  kFailed,  // a statement failed: the message says why
};

struct StoreError {
  StoreProblem problem = StoreProblem::kFailed;
  std::string message;
};

template <typename T>
using StoreResult = std::expected<T, StoreError>;

// The layout of the records this build writes; the store creates it, and upgrades older ones.
inline constexpr int kRecordsSchemaVersion = 4;

class RecordsStore {
 public:
  virtual ~RecordsStore() = default;

  // The file, or the server and database (never a password), for messages.
  virtual std::string Location() const = 0;
  // Whether opening made these records (a new file or an empty database).
  virtual bool Created() const = 0;

  // A write that changes nothing: whether the records take writes now (a read-only file, a full
  // disk, a role without rights fail here, before a station touches a pack).
  virtual StoreResult<void> CheckWritable() = 0;
  // How many numbers of `range` no run has had yet.
  virtual StoreResult<std::int64_t> SerialsLeft(const SerialRange& range) = 0;
  // Runs of `host` still "running" whose station process is gone (`alive` says no) are closed as
  // interrupted, their serial numbers with them; how many.
  virtual StoreResult<int> CloseAbandonedRuns(std::string_view host,
                                              const std::function<bool(std::int64_t)>& alive) = 0;

  // A new run, "running" until FinishRun; its id.
  virtual StoreResult<std::int64_t> BeginRun(const RunStart& start) = 0;
  // The device type and firmware version the pack's gauge reported, and the serial number it
  // carried when it came on (nothing when it did not answer that).
  virtual StoreResult<void> RecordGauge(std::int64_t run, std::uint16_t device_type,
                                        std::uint16_t firmware_version,
                                        std::optional<std::int64_t> arrived_serial) = 0;
  // The run's serial number from `range`: the next number no run has had, for any range of the
  // same parameter, issued in one transaction of the database (never a lock of this process),
  // so no two workers or stations ever get the same. A run that asks again gets its own number
  // again. An exhausted range is kRangeExhausted.
  virtual StoreResult<std::int64_t> AllocateSerial(std::int64_t run, const SerialRange& range) = 0;
  // One attempt at one step; the store numbers the step records of a run in order.
  virtual StoreResult<void> AddStep(std::int64_t run, const StepRecord& step) = 0;
  // The run's end; its serial number, if it has one, takes the same result and is never issued
  // again whatever that is.
  virtual StoreResult<void> FinishRun(std::int64_t run, const RunEnd& end) = 0;

  virtual StoreResult<std::vector<RunRecord>> Runs(const RunFilter& filter, bool with_steps) = 0;
  // One run with its steps.
  virtual StoreResult<RunRecord> Run(std::int64_t run) = 0;
  // The numbers issued for `parameter` (every parameter when empty), in order. A number once
  // issued is never issued again, whatever became of its run.
  virtual StoreResult<std::vector<IssuedSerial>> IssuedSerials(std::string_view parameter) = 0;
};

// The records a user named; when `named` is empty, $XDG_DATA_HOME/cellwarden/records.sqlite or
// ~/.local/share/cellwarden/records.sqlite, with simulated-records.sqlite beside it for the runs
// of simulated packs, so that they never mix with a line's own. Nothing without either variable.
std::optional<std::string> RecordsLocation(std::string_view named, bool simulated,
                                           const char* xdg_data_home = std::getenv("XDG_DATA_HOME"),
                                           const char* home = std::getenv("HOME"));

enum class OpenMode {
  kCreate,    // a station: a missing file (and its folder) is made, the schema created
  kExisting,  // reading records: a missing or empty file is an error, nothing is made
};

// `location`: a PostgreSQL URL, or a file path. The schema is created or upgraded on opening; a
// file or database that holds other tables is refused and left as it is, and so is a location
// that starts like a URL but is none ("postgresql:/db").
StoreResult<std::unique_ptr<RecordsStore>> OpenRecordsStore(std::string_view location,
                                                            OpenMode mode);

}  // namespace cw::production
