#pragma once

#include <expected>
#include <initializer_list>
#include <memory>
#include <mutex>

#include "production/records_store.h"
#include "production/sql_database.h"

namespace cw::production {

// The records store on any SqlDatabase: the same statements and the same transactions on SQLite
// and on PostgreSQL, so the two stores cannot drift apart.
class SqlRecordsStore final : public RecordsStore {
 public:
  // Creates the schema (kCreate, in an empty database only), or upgrades an older one; refuses
  // records of a newer one and a database that holds anything else.
  static StoreResult<std::unique_ptr<RecordsStore>> Open(std::unique_ptr<SqlDatabase> database,
                                                         OpenMode mode);

  std::string Location() const override;
  bool Created() const override { return created_; }
  StoreResult<void> CheckWritable() override;
  StoreResult<std::int64_t> SerialsLeft(const SerialRange& range) override;
  StoreResult<int> CloseAbandonedRuns(std::string_view host,
                                      const std::function<bool(std::int64_t)>& alive) override;
  StoreResult<std::int64_t> BeginRun(const RunStart& start) override;
  StoreResult<void> RecordGauge(std::int64_t run, std::uint16_t device_type,
                                std::uint16_t firmware_version,
                                std::optional<std::int64_t> arrived_serial) override;
  StoreResult<std::int64_t> AllocateSerial(std::int64_t run, const SerialRange& range) override;
  StoreResult<void> AddStep(std::int64_t run, const StepRecord& step) override;
  StoreResult<void> FinishRun(std::int64_t run, const RunEnd& end) override;
  StoreResult<std::vector<RunRecord>> Runs(const RunFilter& filter, bool with_steps) override;
  StoreResult<RunRecord> Run(std::int64_t run) override;
  StoreResult<std::vector<IssuedSerial>> IssuedSerials(std::string_view parameter) override;

  // A failure inside a transaction: `conflict` says it may be tried again.
  struct TransactionError {
    bool conflict = false;
    StoreError error;
  };
  template <typename T>
  using TransactionResult = std::expected<T, TransactionError>;

 private:
  explicit SqlRecordsStore(std::unique_ptr<SqlDatabase> database);

  TransactionResult<std::vector<SqlRow>> Query(std::string_view sql,
                                               std::initializer_list<SqlValue> parameters = {});
  TransactionResult<std::vector<SqlRow>> Query(std::string_view sql,
                                               std::span<const SqlValue> parameters);
  // A statement's failure, with where the records are.
  TransactionError Failure(const SqlError& error) const;
  // Runs `work` in a transaction of `kind`, committed when it succeeds and rolled back
  // otherwise; tried again a few times when another connection got there first.
  template <typename Work>
  auto InTransaction(Transaction kind, Work&& work)
      -> StoreResult<typename decltype(work())::value_type>;

  StoreResult<void> PrepareSchema(OpenMode mode);
  // Makes the layout in an empty database, or upgrades an older one.
  TransactionResult<void> CreateSchema();
  // The store's id, read once it exists.
  StoreResult<void> ReadStoreId();
  // Inside a write transaction: these are still the records the store opened.
  TransactionResult<void> SameRecords();
  TransactionResult<std::int64_t> AllocateIn(std::int64_t run, const SerialRange& range);
  TransactionResult<std::vector<RunRecord>> ReadRuns(const RunFilter& filter,
                                                     std::optional<std::int64_t> only);
  TransactionResult<void> ReadSteps(std::vector<RunRecord>& runs);

  std::mutex mutex_;
  std::unique_ptr<SqlDatabase> database_;
  std::string store_id_;
  bool created_ = false;
};

}  // namespace cw::production
