#pragma once

#include <cstdint>
#include <string>

#include "dataflash/param_def.h"
#include "production/recipe.h"

// The values of a recipe judged without its files: ranges that fit their parameter, registers
// and parameters that exist, references a pack can have, limits that leave room. And the texts
// a station writes for them, so that what is judged here is what reaches the gauge.
namespace cw::production {

// Adds a problem, at its line, for each value of `recipe` that makes no sense.
void CheckRecipeValues(const Recipe& recipe, RecipeProblems& problems);

// The calibration step's references and limits alone: what a reference given for each pack (on
// the command line or typed) is held to, once filled into the step.
void CheckCalibrate(const CalibrateStep& step, RecipeProblems& problems);

// The highest pack voltage a reference may give: four cells at their highest.
inline constexpr double kMaxPackMv = 20000;
// The highest and lowest year the manufacture date's field holds.
inline constexpr int kFirstDateYear = 1980;
inline constexpr int kLastDateYear = 2107;

// The data flash row the serial number goes into; nothing for a name no row has.
const dataflash::ParamDef* SerialParameter(const SerialStep& step);
// `number` as the row's text ("%04X": "1A2B"), the text a data flash write encodes back to it.
std::string SerialText(const dataflash::ParamDef& row, std::int64_t number);
// "2024-5-17", as the "Manuf Date" row takes a date.
std::string ManufactureDateText(const CalendarDate& date);
bool IsGaugeDate(const CalendarDate& date);

}  // namespace cw::production
