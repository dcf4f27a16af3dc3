#include "cli/doctor_commands.h"

#include <fmt/format.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/messages.h"
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
  fmt::print(text::kCandidate, link::NodeKindName(candidate.transport), candidate.node,
             candidate.vendor_id, candidate.product_id, candidate.serial);
  fmt::print("\n");
  if (!candidate.product_matches) {
    fmt::print(text::kNotTheProduct, settings.ProductId(candidate.transport));
    fmt::print("\n");
  }
  // Only a HID device has collections.
  if (!candidate.collections.empty()) {
    std::vector<std::string> collections;
    for (const auto& info : candidate.collections) {
      collections.push_back(fmt::format(text::kCollection, info.usage_page, info.usage));
    }
    fmt::print(text::kCollections, Joined(collections, " "));
    fmt::print("\n");
  }
  if (candidate.access.exists) {
    fmt::print(text::kNode, candidate.access.mode, candidate.access.owner, candidate.access.group,
               candidate.access.read_write ? text::kMay : text::kMayNot);
  } else {
    fmt::print("{}", text::kNodeMissing);
  }
  fmt::print("\n");
  if (candidate.opened) {
    fmt::print("{}\n", text::kOpenOk);
  } else {
    fmt::print(text::kOpenFailed, link::DescribeFault(candidate.open_fault));
    fmt::print("\n");
  }
  if (candidate.kernel_driver) {
    fmt::print("{}\n", text::kKernelDriver);
  } else if (candidate.claimed) {
    if (*candidate.claimed) {
      fmt::print("{}\n", text::kClaimed);
    } else {
      fmt::print(text::kClaimFailed, link::DescribeFault(candidate.claim_fault));
      fmt::print("\n");
    }
  }
}

void PrintSetup(const link::AdapterSurvey& survey) {
  if (survey.rule.path.empty()) {
    std::vector<std::string> searched;
    for (const auto& directory : survey.rule.searched) searched.push_back(directory.string());
    fmt::print(text::kRuleMissing, Joined(searched, ", "));
  } else {
    std::vector<std::string> products;
    for (const auto product : survey.rule.products)
      products.push_back(fmt::format("{:04x}", product));
    fmt::print(text::kRuleInstalled, survey.rule.path.string(),
               survey.rule.names_vendor ? text::kVendorNamed : text::kVendorNotNamed,
               products.empty() ? std::string(text::kNone) : Joined(products, " "));
  }
  fmt::print("\n");
  const auto& group = survey.group;
  fmt::print(fmt::runtime(!group.exists  ? text::kGroupMissing
                          : group.member ? text::kGroupMember
                                         : text::kGroupNotMember),
             group.name);
  fmt::print("\n");
}

std::string StepText(const link::NextStep& step, const link::SurveySettings& settings) {
  using Kind = link::NextStep::Kind;
  std::string line;
  switch (step.kind) {
    case Kind::kReady:
      line = text::kStepReady;
      break;
    case Kind::kPlugIn:
      line = fmt::format(text::kStepPlugIn, settings.vendor_id, settings.hid_product_id,
                         settings.bulk_product_id);
      break;
    case Kind::kUsbUnavailable:
      line = fmt::format(text::kStepUsbUnavailable, step.detail);
      break;
    case Kind::kInstallRule:
      line = text::kStepInstallRule;
      break;
    case Kind::kAddProductToRule:
      line = fmt::format(text::kStepAddProduct, step.product_id);
      break;
    case Kind::kJoinGroup:
      line = fmt::format(text::kStepJoinGroup, settings.group);
      break;
    case Kind::kReloadRules:
      line = text::kStepReloadRules;
      break;
    case Kind::kUsePid:
      line = fmt::format(text::kStepUsePid, step.product_id);
      break;
    case Kind::kCheckSerial:
      line = fmt::format(text::kStepCheckSerial, step.node, step.detail);
      break;
    case Kind::kCloseOtherProgram:
      line = fmt::format(text::kStepCloseOther, step.node);
      break;
    case Kind::kNoAdapterCollections:
      line = fmt::format(text::kStepNoAdapterCollections, step.node);
      break;
    case Kind::kCannotOpen:
      line = fmt::format(text::kStepCannotOpen, step.node, step.detail);
      break;
  }
  return line;
}

void PrintSurvey(const link::SurveySettings& settings, const link::AdapterSurvey& survey,
                 const std::vector<std::string>& steps) {
  fmt::print(text::kIds, settings.vendor_id, settings.hid_product_id, settings.bulk_product_id,
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
  fmt::print("{}\n", text::kWhatToDo);
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
  doctor->add_option("--udev-dir", *rule_directories, std::string(text::kUdevDirOption));
  context.output().OfferJson(*doctor);
  doctor->callback([rule_directories, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    if (bench->simulated()) {
      exit_code = context.output().Error(ErrorKind::kUsage, text::kSimulated, kExitUsage);
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
