#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "production/records_store.h"

namespace cw::test {

// A folder of its own for one test, removed with everything in it afterwards.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::filesystem::path& path() const { return path_; }
  std::string File(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// An empty PostgreSQL database on the server scripts/with-postgres started, dropped afterwards.
class ScratchDatabase {
 public:
  ScratchDatabase();
  ~ScratchDatabase();
  // The URL of the database; empty (with a test failure) when no server is there.
  const std::string& url() const { return url_; }

 private:
  std::string name_;
  std::string url_;
};

// The server of scripts/with-postgres, or empty.
std::string PostgresServerUrl();

// A run's start as a station gives it, at a fixed time plus `seconds`.
production::RunStart SampleStart(std::string adapter, int seconds);

// Three runs of recipe "pack-line": run 1 passes with serial 1000, run 2 fails at "verify"
// after a retry with serial 1001, run 3 passes with serial 1002. Every step is recorded.
void FillSampleRecords(production::RecordsStore& store);

}  // namespace cw::test
