#include "monitor/sbs_register_def.h"

#include <algorithm>

namespace cw::monitor {

link::RegisterRow SbsRegisterDef::ToLinkRow() const {
  link::RegisterRow row;
  row.command = command;
  row.format = std::string(format);
  if (is_text()) {
    row.max_length = static_cast<std::uint8_t>(std::clamp(raw_value, 0, 32));
  } else {
    row.raw_value = raw_value;
  }
  return row;
}

std::string CompactName(std::string_view name) {
  std::string compact;
  compact.reserve(name.size());
  for (char c : name) {
    if (c != ' ') compact.push_back(c);
  }
  return compact;
}

}  // namespace cw::monitor
