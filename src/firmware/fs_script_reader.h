#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/file_error.h"

// Reading and checking an FS script before anything of it reaches a pack: every line is parsed
// and every problem is reported with its line number, so that a script is either played whole
// or not at all.
namespace cw::firmware {

// The update script of the largest image the converters take (65,536 records of 32 bytes, with
// CR LF line ends) stays under 9 MiB.
inline constexpr std::size_t kMaxFsScriptFileSize = std::size_t{16} << 20;
// An X: wait longer than this is a typo, not a settle time.
inline constexpr common::Millis kMaxFsWait{60'000};
// Problems kept for the report; the rest are only counted.
inline constexpr std::size_t kMaxFsProblems = 1000;

enum class FsLineKind { kWrite, kCompare, kWait };

// How the bytes of a W: line go on the bus. Every form drives the same bytes; the adapters
// frame them differently.
enum class FsWriteForm {
  kWord,   // two data bytes, low first
  kBlock,  // a count byte and that many data bytes
  kBytes,  // anything else: the command and the bytes as they stand
};

// One W:, C: or X: line.
struct FsStep {
  int line = 0;  // in the file, from 1
  FsLineKind kind = FsLineKind::kWait;
  std::uint8_t command = 0;
  // Between the command and the PEC, in bus order: for a block the count byte comes first.
  common::Bytes bytes;
  std::uint8_t pec = 0;
  FsWriteForm form = FsWriteForm::kBytes;  // W: lines
  common::Millis wait{0};                  // X: lines
  // C: lines: a W: came since the last X: (or since the start), so the gauge may still be busy
  // with it; the player reads again for a bounded time until the bytes match.
  bool after_write = false;

  bool operator==(const FsStep&) const = default;
};

struct FsScript {
  std::vector<FsStep> steps;
  int line_count = 0;
};

enum class FsProblemKind {
  kEmpty,
  kBinary,
  kTooLarge,
  kNoSteps,
  kUnknownKind,
  kNotHexByte,
  kTooShort,
  kNotGaugeAddress,
  kWritePec,
  kComparePec,
  kCountMismatch,
  kBlockLength,
  kWordLength,
  kTransferTooLong,
  kNothingToCompare,
  kWaitMissing,
  kWaitNotNumber,
  kWaitNegative,
  kWaitTooLong,
};

struct FsProblem {
  int line = 0;  // 0: the file as a whole
  FsProblemKind kind = FsProblemKind::kEmpty;
  std::string text;
};

struct FsCheckReport {
  FsScript script;
  std::vector<FsProblem> problems;  // in line order, at most kMaxFsProblems
  std::size_t more_problems = 0;    // found beyond those
  // The file could not be read at all (missing, a folder, no access): nothing was checked.
  std::optional<common::FileError> file_error;

  bool clean() const { return !file_error && problems.empty(); }
  std::size_t problem_count() const { return problems.size() + more_problems; }
};

// Parses and checks a whole script held in memory.
FsCheckReport CheckFsScript(common::ByteView content);
// The same for a file, read with the bounded reader; a file over kMaxFsScriptFileSize is a
// problem of the script, one that cannot be read is a file error.
FsCheckReport CheckFsScriptFile(const std::filesystem::path& path);

// "C: 16 47 80 01 85": a W: or C: line as the converters write it.
std::string FsLineText(const FsStep& step);

}  // namespace cw::firmware
