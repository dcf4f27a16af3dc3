#include "sim/fault_config.h"

#include <fmt/format.h>

#include <charconv>

#include "common/bytes.h"

namespace cw::sim {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <typename Number>
bool ParseWhole(std::string_view text, Number& out) {
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, out);
  return error == std::errc() && ptr == end && !text.empty();
}

std::expected<int, std::string> ParseCount(std::string_view key, std::string_view value) {
  int count = 0;
  if (!ParseWhole(value, count) || count < 1) {
    return std::unexpected(
        fmt::format("Fault \"{}\": \"{}\" is not a whole number from 1 to 2147483647", key, value));
  }
  return count;
}

}  // namespace

std::expected<FaultConfig, std::string> ParseFaults(std::string_view text) {
  FaultConfig config;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    // A doubled or trailing comma says nothing; it is not worth refusing a whole device string.
    if (item.empty()) continue;

    const std::size_t equals = item.find('=');
    const std::string_view key = Trim(item.substr(0, equals));
    const bool has_value = equals != std::string_view::npos;
    const std::string_view value = has_value ? Trim(item.substr(equals + 1)) : std::string_view();

    const auto flag = [&](bool& field) -> std::expected<void, std::string> {
      if (has_value) {
        return std::unexpected(fmt::format("Fault \"{}\" takes no value", key));
      }
      field = true;
      return {};
    };
    const auto needs_value = [&](std::string_view example) -> std::expected<void, std::string> {
      if (has_value && !value.empty()) return {};
      return std::unexpected(fmt::format("Fault \"{}\" needs a value ({}={})", key, key, example));
    };

    std::expected<void, std::string> result;
    if (key == "short-replies") {
      result = flag(config.short_replies);
    } else if (key == "oversized-replies") {
      result = flag(config.oversized_replies);
    } else if (key == "stuck-boot") {
      result = flag(config.stuck_in_boot_loader);
    } else if (key == "nack-every" || key == "corrupt-pec-every" || key == "drop-after") {
      result = needs_value("7");
      if (!result) return std::unexpected(result.error());
      auto count = ParseCount(key, value);
      if (!count) return std::unexpected(count.error());
      if (key == "nack-every") config.nack_every = *count;
      if (key == "corrupt-pec-every") config.corrupt_pec_every = *count;
      if (key == "drop-after") config.drop_after_exchanges = *count;
    } else if (key == "seed") {
      result = needs_value("1");
      if (!result) return std::unexpected(result.error());
      if (!ParseWhole(value, config.seed)) {
        return std::unexpected(fmt::format(
            "Fault \"seed\": \"{}\" is not a whole number from 0 to 4294967295", value));
      }
    } else if (key == "safety-alarm") {
      result = needs_value("0x0002");
      if (!result) return std::unexpected(result.error());
      const auto bits = common::ParseHexNumber(value);
      if (!bits || *bits == 0) {
        return std::unexpected(fmt::format(
            "Fault \"safety-alarm\" takes the Safety Status bits in hex, not \"{}\"", value));
      }
      config.safety_alarm = *bits;
    } else if (key == "nack-probability") {
      result = needs_value("0.1");
      if (!result) return std::unexpected(result.error());
      double probability = 0.0;
      const char* end = value.data() + value.size();
      auto [ptr, error] = std::from_chars(value.data(), end, probability);
      // The negated comparison also refuses NaN.
      if (error != std::errc() || ptr != end || !(probability >= 0.0 && probability <= 1.0)) {
        return std::unexpected(
            fmt::format("Fault \"nack-probability\": \"{}\" is not a number from 0 to 1", value));
      }
      config.nack_probability = probability;
    } else {
      return std::unexpected(fmt::format(
          "Unknown fault \"{}\" (known: nack-every, nack-probability, seed, corrupt-pec-every, "
          "drop-after, short-replies, oversized-replies, stuck-boot, safety-alarm)",
          key));
    }
    if (!result) return std::unexpected(result.error());
  }
  if (config.short_replies && config.oversized_replies) {
    return std::unexpected(
        std::string("Faults \"short-replies\" and \"oversized-replies\" cannot be combined"));
  }
  return config;
}

}  // namespace cw::sim
