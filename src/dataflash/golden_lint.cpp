#include "dataflash/golden_lint.h"

#include <algorithm>
#include <optional>

#include "dataflash/param_codec.h"

namespace cw::dataflash {
namespace {

common::Expected<EncodedValue> Encoded(const ParamDef& row, const std::string& text) {
  return EncodeParam(row, text, ValueSource::kFile);
}

}  // namespace

std::vector<LintFinding> LintGolden(const AfiValues& file) {
  std::vector<LintFinding> findings;
  for (const FreshValue& fresh : kFreshPack) {
    const std::size_t row = *FindParam(fresh.name);
    const std::optional<std::string>& value = file.rows[row];
    if (!value) continue;
    const std::optional<std::string> fresh_text = fresh.same_as.empty()
                                                      ? std::optional<std::string>(fresh.text)
                                                      : file.rows[*FindParam(fresh.same_as)];
    if (!fresh_text) continue;
    const auto fresh_bytes = Encoded(kParams[row], *fresh_text);
    if (!fresh_bytes) continue;  // the key it follows holds no value of the row
    const auto bytes = Encoded(kParams[row], *value);
    if (bytes && std::ranges::equal(bytes->bytes(), fresh_bytes->bytes())) continue;
    findings.push_back({row, fresh.group, *value, *fresh_text});
  }
  return findings;
}

}  // namespace cw::dataflash
