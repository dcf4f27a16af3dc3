#include "common/front_end.h"

#include <algorithm>

namespace cw::common {

bool Outcome::Showed(std::string_view text) const {
  return std::ranges::any_of(messages,
                             [text](const ShownMessage& message) { return message.text == text; });
}

OutcomeBuilder::~OutcomeBuilder() {
  for (Collected& collected : collected_) {
    if (collected.shown) continue;
    collected.shown = true;
    sink_.Show(collected.message.text, collected.message.icon);
  }
}

void OutcomeBuilder::Show(std::string_view text, MessageIcon icon) {
  collected_.push_back({{std::string(text), icon}, false});
}

void OutcomeBuilder::Absorb(const Outcome& inner) {
  for (const ShownMessage& message : inner.messages) collected_.push_back({message, true});
  gauge_changed_ = gauge_changed_ || inner.gauge_changed;
}

Outcome OutcomeBuilder::Finish(Verdict verdict) {
  Outcome outcome{verdict, gauge_changed_, {}};
  for (const Collected& collected : collected_) outcome.messages.push_back(collected.message);
  return outcome;
}

}  // namespace cw::common
