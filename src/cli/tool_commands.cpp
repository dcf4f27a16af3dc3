#include "cli/tool_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <string>

#include "app/about_text.h"
#include "app/authentication_tool.h"
#include "app/messages.h"
#include "app/smb_access.h"
#include "app/subcmd_session.h"
#include "cli/json_output.h"
#include "cli/messages.h"
#include "common/bytes.h"
#include "common/parse.h"
#include "link/command_codes.h"

namespace cw::cli {
namespace {

int ExitFor(const common::Outcome& outcome) { return outcome ? kExitSuccess : kExitFailed; }

// The authentication window refuses only a key or challenge field it cannot read: on the command
// line that is a usage error.
int AuthExitFor(const common::Outcome& outcome) {
  return outcome.verdict == common::Verdict::kRefused ? kExitUsage : ExitFor(outcome);
}

// Prints the SubCMD log rows a command added.
void PrintRows(const app::SubCmdRows& rows) {
  for (const app::SubCmdLogRow& row : rows) fmt::print("{}\t{}\n", row.cmd, row.result);
}

// Typed arguments of the SMB access forms, checked whole before anything is sent; the page's
// own fields would read a stray character or a fifth digit as another value.
CLI::Validator SmbCommandArgument() {
  return WholeArgument("an SMBus command: 1 or 2 hex digits", [](std::string_view text) {
    return app::ParseSmbCommand(text).has_value();
  });
}
CLI::Validator HexWordArgument() {
  return WholeArgument("a hex word: 1 to 4 hex digits", [](std::string_view text) {
    return common::ParseHexWord(text).has_value();
  });
}
CLI::Validator BlockDataArgument() {
  return WholeArgument(
      "block data: bytes of 1 or 2 hex digits separated by blanks",
      [](std::string_view text) { return app::ParseSmbBlockData(text).has_value(); });
}

struct SmbArgument {
  std::string name;
  CLI::Validator rule;
};

// One transaction of the SMB access page. `run` gets the arguments, checked whole, and does the
// transaction on the opened adapter.
using SmbTransaction = std::function<int(app::Workbench&, const std::vector<std::string>&)>;

void AddSmbTransaction(CLI::App& smb, CommandContext& context, int& exit_code,
                       const std::string& name, const std::string& description,
                       std::vector<SmbArgument> arguments, SmbTransaction run) {
  auto* command = smb.add_subcommand(name, description);
  auto values = std::make_shared<std::vector<std::string>>(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    command->add_option(arguments[i].name, (*values)[i])->required()->check(arguments[i].rule);
  }
  command->callback([=, &context, &exit_code] {
    if (app::Workbench* bench = context.OpenWorkbench(exit_code)) exit_code = run(*bench, *values);
  });
}

// What a transaction said, as the page says it: its error, or the note of a write whose
// acknowledgement was lost.
template <typename Value>
int Told(app::Workbench& bench, const common::Expected<Value>& result) {
  if (!result) {
    bench.messages().Show(result.error().message);
    return kExitFailed;
  }
  if constexpr (std::is_same_v<Value, app::SmbWritten>) {
    if (!result->note.empty()) bench.messages().Show(result->note);
  }
  return kExitSuccess;
}

std::uint8_t Command(const std::string& text) { return *app::ParseSmbCommand(text); }
std::uint16_t Word(const std::string& text) { return *common::ParseHexWord(text); }

void AddSmbCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* smb = app.add_subcommand("smb", "Single SMBus transactions (the SMB access page)");
  smb->require_subcommand(1);
  using Values = std::vector<std::string>;
  const SmbArgument command{"CMD", SmbCommandArgument()};
  const SmbArgument word{"WORD", HexWordArgument()};
  AddSmbTransaction(*smb, context, exit_code, "read-word", "Read SMB Word", {command},
                    [](app::Workbench& bench, const Values& v) {
                      const auto word = bench.smb_access().ReadWord(Command(v[0]));
                      if (word) fmt::print("{:04X}\n", *word);
                      return Told(bench, word);
                    });
  AddSmbTransaction(*smb, context, exit_code, "write-word", "Write SMB Word", {command, word},
                    [](app::Workbench& bench, const Values& v) {
                      return Told(bench, bench.smb_access().WriteWord(Command(v[0]), Word(v[1])));
                    });
  AddSmbTransaction(*smb, context, exit_code, "write-combined", "Write SMB Combined Word",
                    {command, {"WORD1", HexWordArgument()}, {"WORD2", HexWordArgument()}},
                    [](app::Workbench& bench, const Values& v) {
                      return Told(bench, bench.smb_access().WriteCombinedWord(
                                             Command(v[0]), Word(v[1]), Word(v[2])));
                    });
  AddSmbTransaction(*smb, context, exit_code, "read-block", "Read SMB Block", {command},
                    [](app::Workbench& bench, const Values& v) {
                      const auto data = bench.smb_access().ReadBlock(Command(v[0]));
                      if (data) fmt::print("{}\n", app::SmbBytesText(*data));
                      return Told(bench, data);
                    });
  AddSmbTransaction(*smb, context, exit_code, "write-block", "Write SMB Block",
                    {command, {"DATA", BlockDataArgument()}},
                    [](app::Workbench& bench, const Values& v) {
                      const auto data = app::ParseSmbBlockData(v[1]);
                      return Told(bench, bench.smb_access().WriteBlock(Command(v[0]), *data));
                    });
}

// "MV,MV,MV,MV": the four actual cell voltages, whole numbers, as typed into the four fields. A
// value beyond 32 bits is a number still, which the calibration's range check refuses.
std::optional<std::array<std::string, 4>> SplitCells(std::string_view text) {
  std::array<std::string, 4> cells;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::size_t comma = text.find(',');
    if ((comma == std::string_view::npos) != (i + 1 == cells.size())) return std::nullopt;
    const std::string_view item = text.substr(0, comma);
    if (item.empty() || item.front() == '-' || item.front() == '+') return std::nullopt;
    const auto value = common::ParseWholeInteger(item);
    if (!value && value.error() == common::NumberError::kNotANumber) return std::nullopt;
    cells[i] = std::string(item);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
  }
  return cells;
}

// A number, perhaps one beyond every range (the calibration refuses that one with its message).
template <typename Parsed>
bool IsNumber(const Parsed& parsed) {
  return parsed || parsed.error() == common::NumberError::kOutOfRange;
}

void AddCalibrateCommand(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* calibrate = app.add_subcommand(
      "calibrate", "Calibrate the gauge: 'offset', or the ticked cell voltages, TS1-TS4, current");
  auto target = std::make_shared<std::string>();
  auto cells = std::make_shared<std::string>();
  auto temperatures = std::make_shared<std::array<std::optional<std::string>, 4>>();
  auto current = std::make_shared<std::optional<std::string>>();
  calibrate->add_option("WHAT", *target, "'offset' for the board offset")
      ->check(CLI::IsMember({"offset"}));
  calibrate->add_option("--cells", *cells, "actual cell voltages in mV: MV,MV,MV,MV")
      ->check(WholeArgument("four cell voltages in mV, whole numbers separated by commas",
                            [](std::string_view text) { return SplitCells(text).has_value(); }));
  const CLI::Validator temperature_rule = WholeArgument(
      "a temperature in degrees Celsius",
      [](std::string_view text) { return IsNumber(common::ParseWholeDecimal(text)); });
  for (std::size_t i = 0; i < temperatures->size(); ++i) {
    calibrate
        ->add_option(fmt::format("--ts{}", i + 1), (*temperatures)[i],
                     fmt::format("actual TS{} temperature in degrees Celsius", i + 1))
        ->check(temperature_rule);
  }
  calibrate->add_option("--current", *current, "actual current in mA (a discharge, negative)")
      ->check(WholeArgument("a current in mA, a whole number", [](std::string_view text) {
        return IsNumber(common::ParseWholeInteger(text));
      }));
  calibrate->callback([=, &context, &exit_code] {
    app::CalibrationEntries entries;
    if (!cells->empty()) {
      entries.calibrate_voltage = true;
      entries.cells = *SplitCells(*cells);
    }
    for (std::size_t i = 0; i < temperatures->size(); ++i) {
      entries.calibrate_ts[i] = (*temperatures)[i].has_value();
      entries.temperatures[i] = (*temperatures)[i].value_or("");
    }
    entries.calibrate_current = current->has_value();
    entries.current = current->value_or("");
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = ExitFor(*target == "offset" ? bench->calibration().CalibrateBoardOffset()
                                            : bench->calibration().CalibrateFromEntries(entries));
  });
}

}  // namespace

void AddToolCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddSmbCommands(app, context, exit_code);

  AddCalibrateCommand(app, context, exit_code);

  auto* about = app.add_subcommand("about", "Print the About box's version lines");
  context.output().OfferJson(*about);
  about->callback([&context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const CommandOutput& output = context.output();
    app::AboutText about = app::AboutVersionText(bench->link(), *bench);
    // The box says the adapter did not answer in its second line; a document says it as an error.
    if (!about.adapter_answered && output.json()) {
      exit_code = output.Error(AdapterErrorKind(bench->link().link_status()),
                               app::messages::kUsbTransferErrorDot, kExitFailed);
      return;
    }
    output.Result(
        [&] {
          // The box's lines end in CR LF; a terminal wants LF.
          std::erase(about.text, '\r');
          if (!about.text.ends_with('\n')) about.text += '\n';
          fmt::print("{}", about.text);
        },
        [&] { return json::About(about, bench->link().connection().transport(), *about.adapter); });
    exit_code = about.adapter_answered ? kExitSuccess : kExitFailed;
  });

  auto* subcmd = app.add_subcommand("subcmd",
                                    "Run a ManufacturerAccess subcommand (hex), as the "
                                    "SubCMD entry field does");
  auto code = std::make_shared<std::string>();
  subcmd->add_option("CODE", *code, "subcommand code in hex")
      ->required()
      ->check(WholeArgument(
          "a subcommand code: 1 to 4 hex digits, optionally after 0x",
          [](std::string_view text) { return common::ParseSubcommandCode(text).has_value(); }));
  subcmd->callback([code, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const auto ran = bench->subcmd().RunEnteredCode(*code);
    PrintRows(ran.detail);
    exit_code = ExitFor(ran);
  });

  auto* seal = app.add_subcommand("seal", "Seal the gauge (the SEAL button)");
  seal->callback([&context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const auto sealed = bench->subcmd().RunSubcommand(link::kSealSubcommand);
    PrintRows(sealed.detail);
    exit_code = ExitFor(sealed);
  });

  auto* unseal = app.add_subcommand("unseal", "Unseal the gauge (UNSEAL or UNSEAL TO FA)");
  auto full_access = std::make_shared<bool>(false);
  auto key = std::make_shared<std::string>();
  unseal->add_flag("--full-access", *full_access, "UNSEAL TO FA with the full-access key");
  unseal->add_option("--key", *key, "the key in hex, as typed in the Unseal Device dialog")
      ->check(WholeArgument(
          "an unseal key: 1 to 8 hex digits, optionally after 0x",
          [](std::string_view text) { return common::ParseKeyText(text).has_value(); }));
  unseal->callback([full_access, key, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::SubCmdSession& session = bench->subcmd();
    const auto target = *full_access ? app::UnsealTarget::kFullAccess : app::UnsealTarget::kUnseal;
    const auto unsealed =
        key->empty() ? session.Unseal(target) : session.UnsealWithKey(target, *key);
    PrintRows(unsealed.detail.rows);
    if (unsealed.detail.lock == app::LockState::kLocked) fmt::print("{}\n", messages::kLocked);
    if (unsealed.detail.lock == app::LockState::kUnknown) {
      fmt::print("{}\n", "unknown");
    }
    exit_code = ExitFor(unsealed);
  });

  auto* auth = app.add_subcommand("auth", "SHA-1 authentication");
  auth->require_subcommand(1);
  auto* digest = auth->add_subcommand("digest", "Print the digest of KEY and CHALLENGE (hex)");
  auto digest_key = std::make_shared<std::string>();
  auto digest_challenge = std::make_shared<std::string>();
  digest->add_option("KEY", *digest_key, "16-byte key, 32 hex digits")->required();
  digest->add_option("CHALLENGE", *digest_challenge, "20-byte challenge, 40 hex digits")
      ->required();
  context.output().OfferJson(*digest);
  digest->callback([digest_key, digest_challenge, &context, &exit_code] {
    const CommandOutput& output = context.output();
    // The calculator needs no gauge; the window's field rules and messages apply. A field it
    // refuses is a usage error, said once: on stderr, or as the JSON error.
    const auto digest_text = app::CalculatorDigest(*digest_key, *digest_challenge);
    if (!digest_text) {
      const common::Error& error = digest_text.error();
      exit_code = output.Error(error.kind, error.message,
                               error.kind == ErrorKind::kUsage ? kExitUsage : kExitFailed);
      return;
    }
    output.Result([&] { fmt::print("{}\n", *digest_text); },
                  [&] { return json::AuthDigest(*digest_text); });
    exit_code = kExitSuccess;
  });

  auto* check = auth->add_subcommand("check", "Authenticate the gauge with KEY and CHALLENGE");
  auto check_key = std::make_shared<std::string>();
  auto check_challenge = std::make_shared<std::string>();
  check->add_option("KEY", *check_key, "16-byte key, 32 hex digits")->required();
  check->add_option("CHALLENGE", *check_challenge, "20-byte challenge, 40 hex digits")->required();
  check->callback([check_key, check_challenge, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const auto matched = bench->OpenAuthenticationTool().Authenticate(*check_key, *check_challenge);
    if (!matched.detail.empty()) fmt::print("{}\n", matched.detail);
    bench->CloseAuthenticationTool();
    exit_code = AuthExitFor(matched);
  });

  auto* change = auth->add_subcommand("change-key", "Store KEY in the gauge and check it");
  auto new_key = std::make_shared<std::string>();
  change->add_option("KEY", *new_key, "16-byte key, 32 hex digits")->required();
  change->callback([new_key, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = AuthExitFor(bench->OpenAuthenticationTool().ChangeKey(*new_key));
    bench->CloseAuthenticationTool();
  });
}

}  // namespace cw::cli
