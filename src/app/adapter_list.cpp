#include "app/adapter_list.h"

namespace cw::app {

std::string AdapterList::Select(const link::AdapterSeen& adapter) const {
  const std::string select = link::DescribeChoice(adapter.choice);
  // In the simulated set the same name goes after its adapter= key.
  return simulated ? link::DescribeChoice({std::nullopt, select}) : select;
}

}  // namespace cw::app
