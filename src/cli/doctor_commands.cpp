#include "cli/doctor_commands.h"

#include <fmt/format.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/messages.h"
#include "common/doc_dir.h"
#include "common/product_constants.h"
#include "link/adapter_survey.h"

namespace cw::cli {
namespace {

namespace text = messages::doctor;

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (const auto& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

void PrintCandidate(const link::AdapterSeen& candidate, const link::SurveySettings& settings) {
  fmt::print("{} {}  {:04x}:{:04x}  serial \"{}\"", link::NodeKindName(candidate.transport),
             candidate.node, candidate.vendor_id, candidate.product_id, candidate.serial);
  fmt::print("\n");
  if (!candidate.product_matches) {
    fmt::print("  not the product id cellwarden opens ({:04x})",
               settings.ProductId(candidate.transport));
    fmt::print("\n");
  }
  // Only a HID device has collections.
  if (!candidate.collections.empty()) {
    std::vector<std::string> collections;
    for (const auto& info : candidate.collections) {
      collections.push_back(fmt::format("{:04x}:{:04x}", info.usage_page, info.usage));
    }
    fmt::print("  collections: {}", Joined(collections, " "));
    fmt::print("\n");
  }
  if (candidate.access.exists) {
    fmt::print(text::kNode, candidate.access.mode, candidate.access.owner, candidate.access.group,
               candidate.access.read_write ? "may" : "may not");
  } else {
    fmt::print("{}", "  node: not found");
  }
  fmt::print("\n");
  if (candidate.opened) {
    fmt::print("{}\n", "  open: ok");
  } else {
    fmt::print("  open: failed: {}", link::DescribeFault(candidate.open_fault));
    fmt::print("\n");
  }
  if (candidate.kernel_driver) {
    fmt::print("{}\n",
               "  interface 0: held by a kernel driver (cellwarden detaches it when it opens the "
               "adapter)");
  } else if (candidate.claimed) {
    if (*candidate.claimed) {
      fmt::print("{}\n", "  interface 0: claimed and released");
    } else {
      fmt::print("  interface 0: claim failed: {}", link::DescribeFault(candidate.claim_fault));
      fmt::print("\n");
    }
  }
}

void PrintSetup(const link::AdapterSurvey& survey) {
  if (survey.rule.path.empty()) {
    std::vector<std::string> searched;
    for (const auto& directory : survey.rule.searched) searched.push_back(directory.string());
    fmt::print("udev rule: not installed (looked in {})", Joined(searched, ", "));
  } else {
    std::vector<std::string> products;
    for (const auto product : survey.rule.products)
      products.push_back(fmt::format("{:04x}", product));
    fmt::print("udev rule: {} (vendor {}, products {})", survey.rule.path.string(),
               survey.rule.names_vendor ? "named" : "not named",
               products.empty() ? std::string(text::kNone) : Joined(products, " "));
  }
  fmt::print("\n");
  const auto& group = survey.group;
  fmt::print(fmt::runtime(!group.exists  ? "group {}: does not exist on this machine"
                          : group.member ? "group {}: you are a member"
                                         : "group {}: you are not a member"),
             group.name);
  fmt::print("\n");
}

std::string StepText(const link::NextStep& step, const link::SurveySettings& settings) {
  using Kind = link::NextStep::Kind;
  std::string line;
  switch (step.kind) {
    case Kind::kReady:
      line = "  - The adapter is ready: `cellwarden-cli probe` opens it.";
      break;
    case Kind::kPlugIn:
      line = fmt::format(
          "  - Plug the adapter in; `lsusb -d {:04x}:` must list it (product {:04x} for HID, "
          "{:04x} "
          "for bulk). If its maker uses another vendor id, see " CW_DOC_DIR "/bring-up.md.",
          settings.vendor_id, settings.hid_product_id, settings.bulk_product_id);
      break;
    case Kind::kUsbUnavailable:
      line = fmt::format(
          "  - libusb could not list the USB devices ({}): a bulk adapter cannot be found until it "
          "can.",
          step.detail);
      break;
    case Kind::kInstallRule:
      line =
          "  - Install the udev rule: sudo cp packaging/70-cellwarden.rules /etc/udev/rules.d/ && "
          "sudo udevadm control --reload && sudo udevadm trigger, then replug the adapter.";
      break;
    case Kind::kAddProductToRule:
      line = fmt::format("  - Add product {:04x} to the udev rule (" CW_DOC_DIR
                         "/bring-up.md says how), reload the rules and replug the adapter.",
                         step.product_id);
      break;
    case Kind::kJoinGroup:
      line = fmt::format(
          "  - Add yourself to the {0} group (sudo usermod -aG {0} $USER), then log in again.",
          settings.group);
      break;
    case Kind::kReloadRules:
      line =
          "  - The rule names the adapter but access is still denied: sudo udevadm control "
          "--reload "
          "&& sudo udevadm trigger, then replug the adapter.";
      break;
    case Kind::kUsePid:
      line = fmt::format(
          "  - The HID adapter answers as product {0:04x}: run with --pid {0:04X} (or enter "
          "0x{0:04X} "
          "in PID/SN Cfg).",
          step.product_id);
      break;
    case Kind::kCheckSerial:
      line = fmt::format(
          "  - The bulk adapter at {} has serial \"{}\": cellwarden wants the prefix followed by "
          "00000001; choose the prefix with --serial-prefix.",
          step.node, step.detail);
      break;
    case Kind::kCloseOtherProgram:
      line = fmt::format("  - {} is held by another program: close it and try again.", step.node);
      break;
    case Kind::kNoAdapterCollections:
      line = fmt::format(
          "  - {} opens but carries none of the adapter's collections (usage page ff00): it is "
          "another device with the adapter's ids, or its firmware is not the one cellwarden "
          "expects.",
          step.node);
      break;
    case Kind::kCannotOpen:
      line = fmt::format("  - {} could not be opened: {}.", step.node, step.detail);
      break;
  }
  return line;
}

void PrintSurvey(const link::SurveySettings& settings, const link::AdapterSurvey& survey,
                 const std::vector<std::string>& steps) {
  fmt::print("Adapter ids: vendor {:04x}, HID product {:04x}, bulk product {:04x}, bulk serial {}",
             settings.vendor_id, settings.hid_product_id, settings.bulk_product_id,
             settings.serial_prefix + common::kSerialSuffix);
  fmt::print("\n");
  if (survey.candidates.empty()) {
    fmt::print(text::kNoAdapter, settings.vendor_id);
    fmt::print("\n");
  }
  if (survey.usb_fault) {
    fmt::print(text::kUsbUnlisted, link::DescribeFault(survey.usb_fault));
    fmt::print("\n");
  }
  for (const auto& candidate : survey.candidates) PrintCandidate(candidate, settings);
  PrintSetup(survey);
  fmt::print("{}\n", "What to do:");
  for (const auto& step : steps) fmt::print("{}\n", step);
}

// The steps as a document gives them: without the list's bullet.
std::vector<std::string> WithoutBullets(std::vector<std::string> steps) {
  for (std::string& step : steps) {
    if (step.starts_with(text::kStepBullet)) step.erase(0, text::kStepBullet.size());
  }
  return steps;
}

}  // namespace

void AddDoctorCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* doctor = app.add_subcommand("doctor", std::string(text::kDescription));
  auto rule_directories = std::make_shared<std::vector<std::string>>();
  doctor->add_option(
      "--udev-dir", *rule_directories,
      std::string(
          "look for the udev rule in DIR instead of the system's rule directories (repeatable)"));
  context.output().OfferJson(*doctor);
  doctor->callback([rule_directories, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    if (bench->simulated()) {
      exit_code = context.output().Error(
          ErrorKind::kUsage,
          "doctor looks at real adapters; the simulated pack needs none (run it without --sim)",
          kExitUsage);
      return;
    }
    auto& transport = bench->link().connection();
    link::SurveySettings settings;
    settings.vendor_id = transport.vendor_id();
    settings.hid_product_id = transport.hid_product_id();
    settings.bulk_product_id = transport.bulk_product_id();
    settings.serial_prefix = transport.serial_prefix();
    if (!rule_directories->empty()) {
      settings.rule_directories.assign(rule_directories->begin(), rule_directories->end());
    }
    const link::AdapterSurvey survey =
        link::SurveyAdapters(transport.hid_backend(), transport.usb_backend(), settings);

    std::vector<std::string> steps;
    for (const auto& step : survey.steps) steps.push_back(StepText(step, settings));
    context.output().Result([&] { PrintSurvey(settings, survey, steps); },
                            [&] { return json::Doctor(settings, survey, WithoutBullets(steps)); });
    exit_code = survey.usable() ? kExitSuccess : kExitFailed;
  });
}

}  // namespace cw::cli
