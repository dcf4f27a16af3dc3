#include "dataflash/parameter_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dataflash/algorithm_transform.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/page_layout.h"
#include "dataflash/subclass_layout.h"

namespace cw::dataflash {
namespace {

TEST(ParameterTableTest, RowsFitTheirSubclassesAndNamesAreUnique) {
  std::size_t total = 0;
  for (std::size_t list = 0; list < kListCount; ++list) total += ListRows(list).size();
  EXPECT_EQ(total, kParamCount);
  std::set<std::string_view> names;
  for (const ParamDef& row : kParams) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    const auto entry = FindPageSubclass(row.subclass);
    ASSERT_TRUE(entry) << row.name;
    EXPECT_LE(row.offset + RawSize(row), entry->length) << row.name;
    EXPECT_LE(row.name.size(), 39u);
  }
}

TEST(ParameterTableTest, ListBoundariesAndSampleRowsAreAsPublished) {
  EXPECT_EQ(kParams[ListStart(6)].name, "JT1");
  EXPECT_EQ(ListOfRow(ListStart(6)), 6u);
  EXPECT_EQ(kParams[ListStart(20) + 3].name, "CC Deadband Reg");
  EXPECT_EQ(kParams.back().conversion, 0);
  const ParamDef& date = kParams[*FindParam("Manuf Date")];
  EXPECT_EQ(date.address(), kManufactureDateAddress);
  const ParamDef& name = kParams[*FindParam("Device Name")];
  EXPECT_EQ(name.type, kTypeString);
  EXPECT_EQ(name.conversion, 20);
  EXPECT_EQ(kParams[*FindParam("PF TS1 Temperature")].minimum, -2731);
  EXPECT_EQ(kParams[*FindParam("Over Temp Chg")].unit, "℃");
}

TEST(SubclassLayoutTest, PlacesSubclassesInTheImageAndTheFlashMap) {
  EXPECT_EQ(FindPageSubclass(0x22), (SubclassEntry{33, 152}));
  EXPECT_FALSE(FindPageSubclass(0x50));
  EXPECT_EQ(FindSubclass(0x50), (SubclassEntry{38, 250}));
  EXPECT_EQ(FindSubclass(0x5F), (SubclassEntry{61, 1}));
  EXPECT_FALSE(FindSubclass(0x15));
  EXPECT_EQ(kFlashAddresses[0x34], 787);
  EXPECT_EQ(kFlashAddresses[0x22], 0xFA00);
  EXPECT_EQ(kFlashAddresses[0x15], 0xFFFF);
  EXPECT_EQ(kFlashAddresses.size(), 120u);

  const ParamDef& device_name = kParams[*FindParam("Device Name")];
  EXPECT_EQ(ParamImageOffset(device_name), 13u * 32 + 52);
  EXPECT_EQ(ParamFlashAddress(device_name), 131u + 52);

  std::size_t page_set_pages = 0;
  std::size_t all_pages = 0;
  for (std::size_t i = 0; i < kSubclassCount; ++i) {
    (i < kPageSetCount ? page_set_pages : all_pages) += EntryAt(i).pages();
    // Subclasses never overlap and stay inside their part of the image.
    if (i + 1 < kSubclassCount) {
      EXPECT_LE(EntryAt(i).block + EntryAt(i).pages(), EntryAt(i + 1).block);
    }
  }
  EXPECT_EQ(page_set_pages, 38u);
  EXPECT_EQ(page_set_pages + all_pages, 62u);
  EXPECT_EQ(EntryAt(kPageSetCount).image_offset(), kAlgorithmAreaStart);
  EXPECT_EQ(InitialProgressTotal(), 38);
}

TEST(AlgorithmTransformTest, StoredAndPlainFormsAreInverse) {
  EXPECT_EQ(StoredToPlain(0x00, 0x50), 0x82);
  for (int id : {0x50, 0x53, 0x5F}) {
    for (int b = 0; b < 256; ++b) {
      const auto byte = static_cast<std::uint8_t>(b);
      EXPECT_EQ(StoredToPlain(PlainToStored(byte, static_cast<std::uint8_t>(id)),
                              static_cast<std::uint8_t>(id)),
                byte);
    }
  }
  AlgorithmArea stored{};
  const AlgorithmArea plain = AlgorithmAreaToPlain(stored);
  EXPECT_EQ(plain[0], 0x82);                                 // 0x50
  EXPECT_EQ(plain[(46 - 38) * 32], StoredToPlain(0, 0x53));  // 0x53
  EXPECT_EQ(plain[(61 - 38) * 32 + 31], StoredToPlain(0, 0x5F));
  EXPECT_EQ(AlgorithmAreaToStored(plain), stored);
}

TEST(PageLayoutTest, FlagRegistersAreRowsOfListsThatShowBitViews) {
  for (const FlagRegister& flag : kFlagRegisters) {
    const auto row = FindParam(flag.name);
    ASSERT_TRUE(row) << flag.name;
    EXPECT_TRUE(kListColumns[ListOfRow(*row)].bit_views) << flag.name;
    EXPECT_EQ(flag.wide, kParams[*row].type == kTypeWord) << flag.name;
  }
  EXPECT_EQ(kWideEdges.back(), 649);
  EXPECT_EQ(kNarrowEdges[7], 321);
}

}  // namespace
}  // namespace cw::dataflash
