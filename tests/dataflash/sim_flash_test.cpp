// The simulated pack's data flash as the tool finds it.
#include <gtest/gtest.h>

#include "dataflash/algorithm_transform.h"
#include "dataflash_fixture.h"

namespace cw::dataflash {
namespace {

TEST(SimFlashTest, EveryDefaultValueIsInsideItsLimits) {
  test::DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  for (std::size_t row = 0; row < kParamCount; ++row) {
    const std::string text = f.session.View().values[row].text;
    EXPECT_TRUE(EncodeParam(kParams[row], text, ValueSource::kTyped))
        << kParams[row].name << " = " << text;
  }
}

TEST(SimFlashTest, AlgorithmSubclassesAreServedInStoredForm) {
  test::DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  const AlgorithmArea plain = AlgorithmAreaToPlain(f.session.View().backup);
  // 0x50 is a ramp of big-endian words from 120 in steps of 3.
  EXPECT_EQ(plain[0], 0);
  EXPECT_EQ(plain[1], 120);
  EXPECT_EQ(plain[3], 123);
  EXPECT_NE(f.session.View().backup[1], 120);
  // 0x58 starts with its flag byte.
  EXPECT_EQ(plain[(54 - 38) * 32], 0x55);
}

}  // namespace
}  // namespace cw::dataflash
