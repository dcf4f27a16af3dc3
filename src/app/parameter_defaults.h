#pragma once

#include <string>
#include <vector>

#include "common/product_constants.h"

namespace cw::app {

// What every data flash parameter (in kParams order) holds on a freshly made simulated pack,
// as the data flash page shows it. These are the only defaults the tool knows: a real gauge's
// come with its firmware, so a front end names them as the simulated pack's.
std::vector<std::string> SimulatedPackDefaults(const common::ProductConstants& constants);

}  // namespace cw::app
