#include "cli/command_output.h"

#include <fmt/format.h>

#include <algorithm>
#include <ranges>

#include "cli/json_output.h"
#include "common/doc_dir.h"

namespace cw::cli {
namespace {

void PrintDocument(const nlohmann::ordered_json& document) {
  // Texts from the gauge need not be UTF-8 (the debug block is binary): such bytes are replaced,
  // never a reason to throw.
  fmt::print("{}\n",
             document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

}  // namespace

CLI::Option* CommandOutput::OfferJson(CLI::App& command) {
  CLI::Option* flag = command.add_flag("--json")->description(std::string(
      "print the result as one JSON document on stdout (" CW_DOC_DIR "/json.md describes each)"));
  json_flags_.push_back(flag);
  return flag;
}

bool CommandOutput::json() const {
  return std::ranges::any_of(json_flags_,
                             [](const CLI::Option* flag) { return flag->count() > 0; });
}

void CommandOutput::Result(common::FunctionRef<void()> text,
                           common::FunctionRef<nlohmann::ordered_json()> document) const {
  if (json()) {
    PrintDocument(document());
  } else {
    text();
  }
}

int CommandOutput::Error(ErrorKind kind, std::string_view message, int exit_code) const {
  if (json()) {
    PrintDocument(json::Error(kind, message));
  } else {
    fmt::print(stderr, "{}\n", message);
  }
  return exit_code;
}

int CommandOutput::ErrorShown(ErrorKind kind, std::string_view message, int exit_code) const {
  return json() ? Error(kind, message, exit_code) : exit_code;
}

int CommandOutput::LinkError(link::GaugeLink& link, int exit_code) const {
  const link::LinkStatus status = link.link_status();
  if (status == link::LinkStatus::kNotResponding && link.WaitsInBootLoader()) {
    return Error(
        ErrorKind::kBootLoader,
        "The gauge waits in its boot loader (an update was stopped or failed) and answers nothing "
        "else: cellwarden-cli fw update IMAGE writes its firmware again and recovers it.",
        exit_code);
  }
  return Error(LinkErrorKind(status), link::LinkStatusText(status), exit_code);
}

std::string_view OutcomeMessage(const common::Outcome& outcome, std::string_view fallback) {
  const auto& shown = outcome.messages;
  const auto serious = std::ranges::find_if(shown | std::views::reverse, [](const auto& message) {
    return message.icon == common::MessageIcon::kError ||
           message.icon == common::MessageIcon::kWarning;
  });
  if (serious != (shown | std::views::reverse).end()) return serious->text;
  return shown.empty() ? fallback : std::string_view(shown.back().text);
}

}  // namespace cw::cli
