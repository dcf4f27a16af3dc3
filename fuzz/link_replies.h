#pragma once

#include "common/bytes.h"
#include "link/gauge_link.h"

namespace cw::fuzz {

// Every reply-decoding transaction of the link once.
inline void ExerciseReplies(link::GaugeLink& link) {
  std::uint16_t value = 0;
  link.ReadWord(0x09, value);
  link::RegisterRow row{.command = 0x20, .max_length = 21};
  link.ReadWord(row);
  link.ReadBlock(row);
  common::Bytes out;
  link.ReadBlock(0x21, 255, out);
  link.ReadBlock(0x21, 34, out);
  link.ReadManufacturerBlock(0x71, 14, out);
  link.ReadSubCmdReply(0x79, 32, out);
  link.ReadOperationStatus();
  link.ReadFlashPage(2, 9);
  link.ReadFlashParameterBlock({.subclass = 0x30, .offset = 31, .size = 2, .subclass_length = 73});
  link.ReadFlashBlock(0xF800, true);
  link.SendChallenge(common::Bytes(20, 0));
  link.IspStepPair(true);
  link.IspWriteData(common::Bytes(32, 0), true);
  link.ReadAdapterVersion();
}

}  // namespace cw::fuzz
