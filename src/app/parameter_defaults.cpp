#include "app/parameter_defaults.h"

#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "sim/gauge_memory.h"

namespace cw::app {

std::vector<std::string> SimulatedPackDefaults(const common::ProductConstants& constants) {
  const sim::GaugeMemory memory = sim::DefaultGaugeMemory(constants);
  std::vector<std::string> texts;
  texts.reserve(dataflash::kParams.size());
  for (const dataflash::ParamDef& row : dataflash::kParams) {
    const auto place = sim::FindSubclassPlace(row.subclass);
    const auto raw =
        place ? memory.ReadSubclass(*place, row.offset, dataflash::RawSize(row)) : std::nullopt;
    dataflash::ParamValue value;
    if (raw) dataflash::DecodeParam(row, common::ByteView(*raw), value);
    texts.push_back(value.text);
  }
  return texts;
}

}  // namespace cw::app
