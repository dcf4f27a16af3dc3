#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dataflash/afi_file.h"
#include "dataflash/fresh_pack.h"

// What a golden constants file would copy into every pack it is written to: the values of the
// per-pack groups (lifetime, learned, calibration, serial, date, update status) that are not a
// fresh pack's.
namespace cw::dataflash {

struct LintFinding {
  std::size_t row = 0;  // in kParams
  PackGroup group = PackGroup::kLifetime;
  std::string value;  // the file's text
  std::string fresh;  // what a fresh pack holds there
  bool operator==(const LintFinding&) const = default;
};

// The findings of `file`, in the order of kFreshPack. A value counts as fresh when it would
// write the fresh value's bytes (so "0.0" and "0" are one offset); a text no parameter takes is
// never fresh. A key the file lacks carries nothing into a pack and is not judged, nor is a
// value whose fresh value is another key the file lacks.
std::vector<LintFinding> LintGolden(const AfiValues& file);

}  // namespace cw::dataflash
