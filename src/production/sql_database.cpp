#include "production/sql_database.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace cw::production {

const std::optional<std::string>& SqlRow::Value(std::string_view column) const {
  const auto found = std::ranges::find(*columns_, column);
  if (found == columns_->end()) {
    fmt::print(stderr, "no column \"{}\" in the statement's result\n", column);
    std::abort();
  }
  return values_[static_cast<std::size_t>(found - columns_->begin())];
}

std::optional<std::int64_t> SqlRow::Int(std::string_view column) const {
  const auto& text = Value(column);
  if (!text) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return value;
}

SqlResult<void> SqlDatabase::Begin(Transaction kind) {
  return Run(kind == Transaction::kWrite ? dialect().begin_write : dialect().begin_read);
}

SqlResult<void> SqlDatabase::Run(std::string_view sql) {
  auto done = Query(sql, {});
  if (!done) return std::unexpected(std::move(done.error()));
  return {};
}

}  // namespace cw::production
