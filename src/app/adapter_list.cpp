#include "app/adapter_list.h"

#include <algorithm>

#include "app/messages.h"

namespace cw::app {
namespace {

using link::AdapterCandidate;
using link::AdapterKind;

bool IsAdapter(const AdapterCandidate& candidate, const link::SurveySettings& settings) {
  return candidate.product_id ==
         (candidate.kind == AdapterKind::kHid ? settings.hid_product_id : settings.bulk_product_id);
}

std::string ProblemOf(const AdapterCandidate& candidate) {
  if (!candidate.opened) return link::DescribeFault(candidate.open_fault);
  if (candidate.kind == AdapterKind::kHid) {
    return candidate.adapter_collections ? std::string()
                                         : std::string(messages::kNoAdapterCollections);
  }
  if (candidate.claimed && !*candidate.claimed) return link::DescribeFault(candidate.claim_fault);
  return {};
}

}  // namespace

AdapterList AdaptersOf(const link::AdapterSurvey& survey, const link::SurveySettings& settings,
                       bool simulated) {
  AdapterList list;
  list.simulated = simulated;
  if (survey.usb_fault) list.usb_problem = link::DescribeFault(survey.usb_fault);
  for (const auto& candidate : survey.candidates) {
    if (!IsAdapter(candidate, settings)) continue;
    AdapterEntry entry;
    entry.transport =
        candidate.kind == AdapterKind::kHid ? link::Transport::kHid : link::Transport::kBulk;
    entry.serial = candidate.serial;
    entry.node = candidate.node;
    entry.problem = ProblemOf(candidate);
    entry.can_open = entry.problem.empty();
    list.adapters.push_back(std::move(entry));
  }
  for (auto& entry : list.adapters) {
    const bool serial_names_it =
        !entry.serial.empty() &&
        std::count_if(list.adapters.begin(), list.adapters.end(), [&](const AdapterEntry& other) {
          return other.transport == entry.transport && other.serial == entry.serial;
        }) == 1;
    entry.select =
        link::DescribeChoice({entry.transport, serial_names_it ? entry.serial : entry.node});
    // In the simulated set the same name goes after its adapter= key.
    if (simulated) entry.select = link::DescribeChoice({std::nullopt, entry.select});
  }
  return list;
}

}  // namespace cw::app
