#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "production/records.h"
#include "production/records_store.h"

// A pack's report for its file: every run it had on the line (its first and each rework), each
// step attempt with its result, its cause and its measurements against their limits, the
// recipe's and its files' hashes, and what the pack holds of its own as read back at verify.
// As text for a terminal and as one HTML page that needs nothing else and prints on A4.
namespace cw::production {

// The runs of one pack, oldest first, each with its steps: the run that was issued `serial`
// (any parameter), or run `run`, with the runs its pack had before and after it. kNoSuchRun
// when no run has that number.
StoreResult<std::vector<RunRecord>> PackRunsBySerial(RecordsStore& store, std::int64_t serial);
StoreResult<std::vector<RunRecord>> PackRunsOfRun(RecordsStore& store, std::int64_t run);

struct ReportField {
  std::string label;
  std::string value;
};
struct ReportStep {
  int index = 0;
  std::string step;
  int attempt = 1;
  std::string result;
  std::string cause;
  std::string duration;
  std::vector<std::string> details;  // the measurements, a line each, and the failure
  bool failed = false;
};
struct ReportRun {
  std::string heading;
  std::vector<ReportField> fields;
  std::vector<ReportStep> steps;
};
struct PackReport {
  std::string title;
  std::vector<ReportField> summary;
  std::vector<ReportRun> runs;
};

// `runs` as PackRuns... give them.
PackReport MakePackReport(std::span<const RunRecord> runs);
std::string PackReportText(const PackReport& report);
std::string PackReportHtml(const PackReport& report);

}  // namespace cw::production
