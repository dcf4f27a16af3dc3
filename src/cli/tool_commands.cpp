#include "cli/tool_commands.h"

#include <fmt/format.h>

#include "app/authentication_tool.h"
#include "app/main_window_rules.h"
#include "app/smb_access_page.h"
#include "app/subcmd_panel.h"
#include "cli/messages.h"
#include "common/bytes.h"
#include "link/command_codes.h"

namespace cw::cli {
namespace {

int ExitFor(const common::Outcome& outcome) { return outcome ? kExitSuccess : kExitFailed; }

// Prints the SubCMD log rows a command added.
void PrintLogFrom(const app::SubCmdPanel& panel, std::size_t first) {
  const auto log = panel.log();
  for (std::size_t i = first; i < log.size(); ++i) {
    fmt::print("{}\t{}\n", log[i].cmd, log[i].result);
  }
}

// One form of the SMB access page: `fill` types into the fields, `press` is the button,
// `result_field` is what the form shows, printed when the form has one.
void AddSmbForm(CLI::App& smb, CommandContext& context, int& exit_code, const std::string& name,
                const std::string& description, std::vector<std::string> field_names,
                std::function<void(app::SmbAccessFields&, const std::vector<std::string>&)> fill,
                std::function<common::Outcome(app::SmbAccessPage&)> press,
                std::function<const std::string*(app::SmbAccessFields&)> result_field) {
  auto* form = smb.add_subcommand(name, description);
  auto values = std::make_shared<std::vector<std::string>>(field_names.size());
  for (std::size_t i = 0; i < field_names.size(); ++i) {
    form->add_option(field_names[i], (*values)[i])->required();
  }
  form->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::SmbAccessPage& page = bench->smb_access();
    fill(page.fields(), *values);
    const common::Outcome outcome = press(page);
    if (const std::string* result = result_field(page.fields())) fmt::print("{}\n", *result);
    exit_code = ExitFor(outcome);
  });
}

void AddSmbCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* smb = app.add_subcommand("smb", "Single SMBus transactions (the SMB access page)");
  smb->require_subcommand(1);
  using Fields = app::SmbAccessFields;
  using Values = std::vector<std::string>;
  AddSmbForm(
      *smb, context, exit_code, "read-word", "Read SMB Word", {"CMD"},
      [](Fields& f, const Values& v) { f.read_word_command = v[0]; },
      [](app::SmbAccessPage& p) { return p.ReadWord(); },
      [](Fields& f) { return &f.read_word_result; });
  AddSmbForm(
      *smb, context, exit_code, "write-word", "Write SMB Word", {"CMD", "WORD"},
      [](Fields& f, const Values& v) {
        f.write_word_command = v[0];
        f.write_word = v[1];
      },
      [](app::SmbAccessPage& p) { return p.WriteWord(); },
      [](Fields&) -> const std::string* { return nullptr; });
  AddSmbForm(
      *smb, context, exit_code, "write-combined", "Write SMB Combined Word",
      {"CMD", "WORD1", "WORD2"},
      [](Fields& f, const Values& v) {
        f.combined_command = v[0];
        f.combined_word1 = v[1];
        f.combined_word2 = v[2];
      },
      [](app::SmbAccessPage& p) { return p.WriteCombinedWord(); },
      [](Fields&) -> const std::string* { return nullptr; });
  AddSmbForm(
      *smb, context, exit_code, "read-block", "Read SMB Block", {"CMD"},
      [](Fields& f, const Values& v) { f.read_block_command = v[0]; },
      [](app::SmbAccessPage& p) { return p.ReadBlock(); },
      [](Fields& f) { return &f.read_block_result; });
  AddSmbForm(
      *smb, context, exit_code, "write-block", "Write SMB Block", {"CMD", "DATA"},
      [](Fields& f, const Values& v) {
        f.write_block_command = v[0];
        f.write_block_data = v[1];
      },
      [](app::SmbAccessPage& p) { return p.WriteBlock(); },
      [](Fields&) -> const std::string* { return nullptr; });
}

// "MV,MV,MV,MV": the four actual cell voltages.
std::optional<std::array<std::uint32_t, 4>> ParseCells(const std::string& text) {
  std::array<std::uint32_t, 4> cells{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::size_t end = text.find(',', start);
    const std::string item = text.substr(start, end == std::string::npos ? end : end - start);
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos ||
        item.size() > 6) {
      return std::nullopt;
    }
    cells[i] = static_cast<std::uint32_t>(std::stoul(item));
    if ((end == std::string::npos) != (i + 1 == cells.size())) return std::nullopt;
    start = end + 1;
  }
  return cells;
}

void AddCalibrateCommand(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* calibrate = app.add_subcommand(
      "calibrate", "Calibrate the gauge: 'offset', or the ticked cell voltages, TS1-TS4, current");
  auto target = std::make_shared<std::string>();
  auto cells = std::make_shared<std::string>();
  auto temperatures = std::make_shared<std::array<std::optional<float>, 4>>();
  auto current = std::make_shared<std::optional<std::int32_t>>();
  calibrate->add_option("WHAT", *target, "'offset' for the board offset")
      ->check(CLI::IsMember({"offset"}));
  calibrate->add_option("--cells", *cells, "actual cell voltages in mV: MV,MV,MV,MV");
  for (std::size_t i = 0; i < temperatures->size(); ++i) {
    calibrate->add_option(fmt::format("--ts{}", i + 1), (*temperatures)[i],
                          fmt::format("actual TS{} temperature in degrees Celsius", i + 1));
  }
  calibrate->add_option("--current", *current, "actual current in mA (a discharge, negative)");
  calibrate->callback([=, &context, &exit_code] {
    app::CalibrationInput input;
    if (!cells->empty()) {
      const auto parsed = ParseCells(*cells);
      if (!parsed) {
        fmt::print(stderr, "{}\n", messages::kBadCells);
        exit_code = kExitUsage;
        return;
      }
      input.calibrate_voltage = true;
      input.cell_mv = *parsed;
    }
    for (std::size_t i = 0; i < temperatures->size(); ++i) {
      input.calibrate_ts[i] = (*temperatures)[i].has_value();
      input.ts_celsius[i] = (*temperatures)[i].value_or(0.0f);
    }
    input.calibrate_current = current->has_value();
    input.current_ma = current->value_or(0);
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = ExitFor(*target == "offset" ? bench->calibration().CalibrateBoardOffset()
                                            : bench->calibration().Calibrate(input));
  });
}

}  // namespace

void AddToolCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddSmbCommands(app, context, exit_code);

  AddCalibrateCommand(app, context, exit_code);

  auto* about = app.add_subcommand("about", "Print the About box's version lines");
  about->callback([&context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::AboutText about = app::AboutVersionText(bench->link());
    // The box's lines end in CR LF; a terminal wants LF.
    std::erase(about.text, '\r');
    if (!about.text.ends_with('\n')) about.text += '\n';
    fmt::print("{}", about.text);
    exit_code = about.adapter_answered ? kExitSuccess : kExitFailed;
  });

  auto* subcmd = app.add_subcommand("subcmd",
                                    "Run a ManufacturerAccess subcommand (hex), as the "
                                    "SubCMD entry field does");
  auto code = std::make_shared<std::string>();
  subcmd->add_option("CODE", *code, "subcommand code in hex")->required();
  subcmd->callback([code, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::SubCmdPanel& panel = bench->subcmd();
    const std::size_t first = panel.log().size();
    const common::Outcome outcome = panel.SubmitEntry(*code);
    PrintLogFrom(panel, first);
    exit_code = ExitFor(outcome);
  });

  auto* seal = app.add_subcommand("seal", "Seal the gauge (the SEAL button)");
  seal->callback([&context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::SubCmdPanel& panel = bench->subcmd();
    const std::size_t first = panel.log().size();
    const common::Outcome outcome = panel.RunSubcommand(link::kSealSubcommand);
    PrintLogFrom(panel, first);
    exit_code = ExitFor(outcome);
  });

  auto* unseal = app.add_subcommand("unseal", "Unseal the gauge (UNSEAL or UNSEAL TO FA)");
  auto full_access = std::make_shared<bool>(false);
  auto key = std::make_shared<std::string>();
  unseal->add_flag("--full-access", *full_access, "UNSEAL TO FA with the full-access key");
  unseal->add_option("--key", *key, "the key in hex, as typed in the Unseal Device dialog");
  unseal->callback([full_access, key, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::SubCmdPanel& panel = bench->subcmd();
    const std::size_t first = panel.log().size();
    const auto target = *full_access ? app::UnsealTarget::kFullAccess : app::UnsealTarget::kUnseal;
    // The dialog's OK stores and sends the typed key; the button then checks the state.
    if (!key->empty()) panel.SubmitDialogKey(target, *key);
    const common::Outcome unsealed = panel.Unseal(target);
    PrintLogFrom(panel, first);
    if (!unsealed) fmt::print("{}\n", messages::kLocked);
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
  digest->callback([digest_key, digest_challenge, &context, &exit_code] {
    // The calculator needs no gauge; the window's field rules and messages apply.
    const auto digest_text =
        app::CalculatorDigest(*digest_key, *digest_challenge, context.messages());
    if (!digest_text) {
      exit_code = kExitUsage;
      return;
    }
    fmt::print("{}\n", *digest_text);
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
    app::AuthenticationTool& tool = bench->OpenAuthenticationTool();
    tool.fields().authentication_key = *check_key;
    tool.fields().authentication_challenge = *check_challenge;
    const common::Outcome matched = tool.Authenticate();
    if (!tool.fields().authentication_digest.empty()) {
      fmt::print("{}\n", tool.fields().authentication_digest);
    }
    bench->CloseAuthenticationTool();
    exit_code = ExitFor(matched);
  });

  auto* change = auth->add_subcommand("change-key", "Store KEY in the gauge and check it");
  auto new_key = std::make_shared<std::string>();
  change->add_option("KEY", *new_key, "16-byte key, 32 hex digits")->required();
  change->callback([new_key, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    app::AuthenticationTool& tool = bench->OpenAuthenticationTool();
    tool.fields().change_key = *new_key;
    exit_code = ExitFor(tool.ChangeKey());
    bench->CloseAuthenticationTool();
  });
}

}  // namespace cw::cli
