#include "cli/dataflash_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/messages.h"
#include "common/bytes.h"
#include "common/text.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"

namespace cw::cli {
namespace {

using dataflash::kParams;

namespace text = messages::df;
namespace files = messages::files;

// Exact name first; the .afi keys are matched without regard to case, and so is this.
std::optional<std::size_t> FindParamByName(std::string_view name) {
  if (const auto exact = dataflash::FindParam(name)) return exact;
  for (std::size_t i = 0; i < kParams.size(); ++i) {
    if (common::EqualsIgnoringCase(kParams[i].name, name)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> RowOrReport(const CommandOutput& output, const std::string& name,
                                       int& exit_code) {
  const auto row = FindParamByName(name);
  if (!row) {
    exit_code =
        output.Error(ErrorKind::kUsage, fmt::format(text::kUnknownParameter, name), kExitUsage);
  }
  return row;
}

// The workbench's data flash session; null after the reason was printed.
dataflash::DataFlashSession* OpenSession(CommandContext& context, int& exit_code) {
  app::Workbench* bench = context.OpenWorkbench(exit_code);
  return bench ? &bench->data_flash() : nullptr;
}

// What `df set` left: the value the gauge holds on stdout, anything else on stderr.
int PrintValueSetting(const dataflash::ValueSetting& setting, std::size_t row) {
  if (setting.stopped) return kExitFailed;  // the session has said what was left
  if (setting.unread) {
    fmt::print(stderr, "{}{}\n", files::kDataFlashUnread, files::kNothingWritten);
    return kExitFailed;
  }
  const std::string holds = setting.holds.value_or("");
  switch (setting.edit.detail) {
    case dataflash::EditResult::kWritten:
      fmt::print("{}\n", holds);
      return kExitSuccess;
    case dataflash::EditResult::kMismatch:
      fmt::print("{}\n", holds);
      fmt::print(stderr, "{}\n", fmt::format("the gauge kept another value: {}", holds));
      break;
    case dataflash::EditResult::kFailed:
      if (setting.holds) {
        fmt::print(
            stderr, "{}\n",
            fmt::format("writing {} failed; the gauge now holds {}", kParams[row].name, holds));
      } else {
        // The write may have gone through before the link failed: only a read tells.
        fmt::print(stderr, "{}\n",
                   fmt::format("whether {0} was written is unknown: the gauge could not be read "
                               "afterwards; read it back "
                               "(df get \"{0}\")",
                               kParams[row].name));
      }
      break;
    case dataflash::EditResult::kBusBusy:
      fmt::print(stderr, "{}\n", text::kBusBusy);
      break;
    case dataflash::EditResult::kIgnored:
      fmt::print(stderr, "{}\n", text::kEditIgnored);
      break;
    case dataflash::EditResult::kRefused:
      break;  // the limit message has been shown
  }
  return kExitFailed;
}

// `df diff`: one line per key that differs, exit status as diff(1) gives it.
int PrintDiff(const CommandOutput& output, const dataflash::ConstantsDiff& diff,
              const std::filesystem::path& file, const std::optional<std::filesystem::path>& other,
              link::LinkStatus link_status) {
  if (!diff) {
    // As diff(1) has it, 1 says only that the files differ: any trouble is 2.
    const ErrorKind kind =
        diff.verdict == common::Verdict::kRefused ? ErrorKind::kFile : LinkErrorKind(link_status);
    return output.ErrorShown(kind, OutcomeMessage(diff, files::kDataFlashUnread), kExitUsage);
  }
  output.Result(
      [&] {
        for (const dataflash::KeyDifference& key : diff.detail) {
          fmt::print("{}\t{}\t{}\t{}\n", key.key,
                     key.file_value.value_or(std::string(text::kNoKey)),
                     key.other_value.value_or(std::string(text::kNoKey)), key.unit);
        }
      },
      [&] { return json::ConstantsDiff(file, other, diff.detail); });
  return diff.detail.empty() ? kExitSuccess : kExitFailed;
}

// `df lint`: one line per value a fresh pack does not hold; 0 clean, 1 findings, 2 bad input.
int PrintLint(const CommandOutput& output, const dataflash::GoldenLint& lint,
              const std::filesystem::path& file) {
  if (!lint) return output.ErrorShown(ErrorKind::kFile, OutcomeMessage(lint, ""), kExitUsage);
  output.Result(
      [&] {
        for (const dataflash::LintFinding& finding : lint.detail) {
          const dataflash::ParamDef& row = kParams[finding.row];
          fmt::print("{}\t{}\t{}\t{}\t{}\n", row.name, dataflash::PackGroupName(finding.group),
                     finding.value, finding.fresh, row.unit);
        }
      },
      [&] { return json::GoldenLint(file, lint.detail); });
  return lint.detail.empty() ? kExitSuccess : kExitFailed;
}

void AddParamCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* param = app.add_subcommand("param", "The data-flash parameter table (no gauge needed)");
  param->require_subcommand(1);

  auto* list = param->add_subcommand("list", "Print the 340 parameters in list order");
  list->callback([&exit_code] {
    std::size_t row = 0;
    for (std::size_t l = 0; l < dataflash::kListCount; ++l) {
      for (const dataflash::ParamDef& def : dataflash::ListRows(l)) {
        fmt::print("{}\t{}\t0x{:02X}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", l + 1, def.name, def.subclass,
                   def.offset, int{def.type}, int{def.conversion}, def.format, def.unit,
                   def.minimum, def.maximum);
        ++row;
      }
    }
    exit_code = kExitSuccess;
  });

  auto* encode = param->add_subcommand("encode", "Print the raw bytes of a value");
  auto encode_clamp = std::make_shared<bool>(false);
  auto encode_name = std::make_shared<std::string>();
  auto encode_text = std::make_shared<std::string>();
  encode->add_flag("--clamp", *encode_clamp, "clamp out-of-limit values (as a file load does)");
  encode->add_option("NAME", *encode_name, "parameter name")->required();
  encode->add_option("TEXT", *encode_text, "value as displayed")->required();
  encode->callback([=, &context, &exit_code] {
    const auto row = RowOrReport(context.output(), *encode_name, exit_code);
    if (!row) return;
    // Why a value is refused, or what it is stored as, is told as an edit tells it.
    const auto encoded = dataflash::EncodeAndTell(
        kParams[*row], *encode_text,
        *encode_clamp ? dataflash::ValueSource::kFile : dataflash::ValueSource::kTyped,
        context.messages());
    if (!encoded) {
      exit_code = kExitFailed;
      return;
    }
    fmt::print("{}\n", common::ToHex(encoded->bytes()));
    exit_code = kExitSuccess;
  });

  auto* decode = param->add_subcommand("decode", "Print the value text of raw bytes");
  auto decode_name = std::make_shared<std::string>();
  auto decode_bytes = std::make_shared<std::vector<std::string>>();
  decode->add_option("NAME", *decode_name, "parameter name")->required();
  decode->add_option("BYTES", *decode_bytes, "raw bytes in hex, most significant first")
      ->required();
  decode->callback([=, &context, &exit_code] {
    const auto row = RowOrReport(context.output(), *decode_name, exit_code);
    if (!row) return;
    const dataflash::ParamDef& def = kParams[*row];
    common::Bytes bytes;
    for (const std::string& item : *decode_bytes) {
      const auto byte = common::ParseHexByte(item);
      if (!byte) {
        bytes.clear();
        break;
      }
      bytes.push_back(*byte);
    }
    const std::size_t wanted = dataflash::RawSize(def);
    const bool string = def.type == dataflash::kTypeString;
    if (bytes.empty() || (string ? bytes.size() > wanted : bytes.size() != wanted)) {
      fmt::print(stderr, "{}\n",
                 fmt::format(fmt::runtime(string ? "{} takes 1 to {} raw bytes in hex"
                                                 : "{} takes {} raw bytes in hex"),
                             def.name, wanted));
      exit_code = kExitUsage;
      return;
    }
    dataflash::ParamValue value;
    dataflash::DecodeParam(def, bytes, value);
    fmt::print("{}\n", value.text);
    exit_code = kExitSuccess;
  });
}

void AddGaugeCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* df = app.add_subcommand("df", "Read and write the gauge's data flash");
  df->require_subcommand(1);

  auto* read_all = df->add_subcommand("read-all", "Read the whole data flash into an .afi file");
  auto read_path = std::make_shared<std::string>();
  read_all->add_option("-o,--output", *read_path, "the .afi file to write")->required();
  read_all->callback([=, &context, &exit_code] {
    dataflash::DataFlashSession* session = OpenSession(context, exit_code);
    if (!session) return;
    const auto result = session->SaveGaugeToAfi(*read_path, context.HonourStop());
    if (!result.outcome) {
      exit_code = kExitFailed;
      return;
    }
    fmt::print("{}\n", result.path.string());
    exit_code = kExitSuccess;
  });

  auto* write = df->add_subcommand("write", "Load an .afi file into the gauge");
  auto write_path = std::make_shared<std::string>();
  write->add_option("FILE", *write_path, "the .afi file")->required();
  write->callback([=, &context, &exit_code] {
    dataflash::DataFlashSession* session = OpenSession(context, exit_code);
    if (!session) return;
    const auto result = session->LoadAfiToGauge(*write_path, context.HonourStop());
    if (result.file_missing) {
      fmt::print(stderr, "{}\n", fmt::format("no such file: {}", *write_path));
    }
    exit_code = result.outcome ? kExitSuccess : kExitFailed;
  });

  auto* get = df->add_subcommand("get", "Read one parameter from the gauge");
  auto get_name = std::make_shared<std::string>();
  get->add_option("NAME", *get_name, "parameter name")->required();
  context.output().OfferJson(*get);
  get->callback([=, &context, &exit_code] {
    const CommandOutput& output = context.output();
    const auto row = RowOrReport(output, *get_name, exit_code);
    if (!row) return;
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const auto read = bench->data_flash().ReadParam(*row);
    if (!read) {
      exit_code = output.Error(LinkErrorKind(bench->link().link_status()),
                               fmt::format("reading {} from the gauge failed", kParams[*row].name),
                               kExitFailed);
      return;
    }
    output.Result([&] { fmt::print("{}\n", read.detail.text); },
                  [&] { return json::ParameterReading(*row, read.detail); });
    exit_code = kExitSuccess;
  });

  auto* set = df->add_subcommand("set", "Write one parameter as an edit on the page does");
  auto set_name = std::make_shared<std::string>();
  auto set_value = std::make_shared<std::string>();
  set->add_option("NAME", *set_name, "parameter name")->required();
  set->add_option("VALUE", *set_value, "value as displayed")->required();
  set->callback([=, &context, &exit_code] {
    const auto row = RowOrReport(context.output(), *set_name, exit_code);
    if (!row) return;
    dataflash::DataFlashSession* session = OpenSession(context, exit_code);
    if (!session) return;
    exit_code = PrintValueSetting(session->SetValue(*row, *set_value, context.HonourStop()), *row);
  });

  auto* dump = df->add_subcommand("dump", "Read All and print every parameter");
  context.output().OfferJson(*dump);
  dump->callback([&context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    dataflash::DataFlashSession& session = bench->data_flash();
    if (!session.ReadAll()) {
      exit_code = context.output().Error(LinkErrorKind(bench->link().link_status()),
                                         files::kDataFlashUnread, kExitFailed);
      return;
    }
    const dataflash::DataFlashView view = session.View();
    context.output().Result(
        [&] {
          for (std::size_t row = 0; row < kParams.size(); ++row) {
            fmt::print("{}\t{}\t{}\n", kParams[row].name, view.values[row].text, kParams[row].unit);
          }
        },
        [&] { return json::DataFlashDump(view); });
    exit_code = kExitSuccess;
  });

  auto* diff = df->add_subcommand(
      "diff", "Compare a constants file key by key with another, or with the gauge (Read All)");
  auto diff_file = std::make_shared<std::string>();
  auto diff_other = std::make_shared<std::string>();
  diff->add_option("FILE", *diff_file, "the .afi file or firmware image (.bin)")->required();
  diff->add_option("OTHER", *diff_other,
                   "the .afi file or image to compare it with (default: the gauge)");
  context.output().OfferJson(*diff);
  diff->callback([=, &context, &exit_code] {
    // Two files need no adapter; one file is compared with what the gauge holds.
    app::Workbench* bench =
        diff_other->empty() ? context.OpenWorkbench(exit_code) : context.OpenOffline(exit_code);
    if (!bench) {
      // As diff(1) has it, 1 says only that the files differ: any trouble is 2.
      exit_code = kExitUsage;
      return;
    }
    const auto other =
        diff_other->empty() ? std::nullopt : std::optional<std::filesystem::path>(*diff_other);
    exit_code = PrintDiff(context.output(), bench->data_flash().DiffConstants(*diff_file, other),
                          *diff_file, other, bench->link().link_status());
  });

  auto* lint = df->add_subcommand(
      "lint", "List the values of a golden file that a fresh pack does not hold (no gauge needed)");
  auto lint_file = std::make_shared<std::string>();
  lint->add_option("FILE", *lint_file, "the .afi file or firmware image (.bin)")->required();
  context.output().OfferJson(*lint);
  lint->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenOffline(exit_code);
    if (!bench) {
      exit_code = kExitUsage;
      return;
    }
    exit_code =
        PrintLint(context.output(), bench->data_flash().LintConstants(*lint_file), *lint_file);
  });
}

}  // namespace

void AddDataFlashCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddParamCommands(app, context, exit_code);
  AddGaugeCommands(app, context, exit_code);
}

}  // namespace cw::cli
