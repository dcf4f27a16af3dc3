#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "dataflash/afi_file.h"
#include "dataflash/file_compare.h"
#include "production/recipe.h"

// What a made pack holds apart from its golden constants, by name: the verify step compares
// every other parameter with the golden file.
namespace cw::production {

// The data flash parameters a mask leaves out of the comparison.
std::span<const std::string_view> MaskParameters(VerifyMask mask);

// The names the verify step of `recipe` leaves out: its masks' parameters, and with the serial
// mask the parameter the recipe's serial step writes. Empty without a verify step.
std::vector<std::string_view> MaskedNames(const Recipe& recipe);

// The keys in which the gauge (`gauge`, read into `gauge_image`) differs from `golden`, less
// those `masked` names: what a verify step reports as failed.
std::vector<dataflash::KeyDifference> VerifyDifferences(const dataflash::AfiValues& golden,
                                                        const dataflash::AfiValues& gauge,
                                                        const dataflash::FlashImage& gauge_image,
                                                        std::span<const std::string_view> masked);

}  // namespace cw::production
