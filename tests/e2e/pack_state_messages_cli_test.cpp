// What a failed firmware update or data flash edit says it left is what the pack holds: nothing
// written is said as nothing written (with the one command that brings the firmware back), a
// write that may have gone through is unknown, and an image cut short never starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

class PackStateMessagesCli : public ScratchFolderTest {
 protected:
  std::string Faulty(const std::string& faults) const { return Device(":faults=" + faults); }
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(PackStateMessagesCli, AnUpdateLostBeforeAnyRecordNamesTheCommandThatBringsTheFirmwareBack) {
  ASSERT_EQ(RunCli(Device() + "fw export " + P("before.bin")).exit_code, 0);
  // The adapter is gone right after the handshake's first word: the gauge waits in its boot
  // loader, and not one record reached it.
  const CliRun update = RunCli(Faulty("drop-after=1") + "fw update " + P("before.bin"));
  EXPECT_EQ(update.exit_code, 1);
  EXPECT_TRUE(Has(update.err, "with no record of the update written")) << update.err;
  EXPECT_TRUE(Has(update.err, "cellwarden-cli smb write-word 47 FF00")) << update.err;
  EXPECT_FALSE(Has(update.err, "partly written")) << update.err;
  EXPECT_EQ(RunCli(Device() + "read-word 09").exit_code, 1) << "in its boot loader";

  ASSERT_EQ(RunCli(Device() + "smb write-word 47 FF00").exit_code, 0);
  const CliRun voltage = RunCli(Device() + "read-word 09");
  EXPECT_EQ(voltage.exit_code, 0) << voltage.err;
  ASSERT_EQ(RunCli(Device() + "fw export " + P("after.bin")).exit_code, 0);
  EXPECT_EQ(Read(P("after.bin")), Read(P("before.bin"))) << "the old firmware, whole";
}

TEST_F(PackStateMessagesCli, AnImageCutAfterWholeRecordsIsRefusedBeforeTheBootLoaderSeesIt) {
  ASSERT_EQ(RunCli(Device() + "fw export " + P("full.bin")).exit_code, 0);
  ASSERT_EQ(RunCli(Device() + "df read-all -o " + P("a.afi")).exit_code, 0);
  const std::string image = Read(P("full.bin"));
  std::ofstream(P("cut.bin"), std::ios::binary) << image.substr(0, 2188 * 32);
  const std::string state = Read(P("pack.json"));

  for (const std::string& command :
       {"fw update " + P("cut.bin"), "convert merge-bin " + P("a.afi") + " " + P("cut.bin")}) {
    const CliRun run = RunCli(Device() + command);
    EXPECT_EQ(run.exit_code, 1) << command;
    EXPECT_TRUE(Has(run.err, "The bin file is error, please reload it!")) << command << run.err;
    EXPECT_TRUE(Has(run.err,
                    "The image does not write the whole firmware: 15660 bytes of code "
                    "from 0xBEC8 on are in none of its records"))
        << command << run.err;
  }
  EXPECT_EQ(Read(P("pack.json")), state) << "nothing reached the pack";
  EXPECT_FALSE(fs::exists(P("cut_new.bin")));
}

// The adapter lost while the edit is read back: the value may well be in the gauge, so the
// command says it does not know and how to find out, never that the write failed.
TEST_F(PackStateMessagesCli, ASetWhoseReadBackIsLostSaysTheResultIsUnknown) {
  const std::string set = "df set \"CUV Threshold\" 2700";
  ASSERT_EQ(RunCli(Device() + "df set \"CUV Threshold\" 2500").exit_code, 0);
  const std::string pack = Read(P("pack.json"));
  // The fewest exchanges the set needs: with one fewer the adapter goes during its read-back.
  int fails = 1;
  int works = 4000;
  while (works - fails > 1) {
    const int middle = (fails + works) / 2;
    std::ofstream(P("pack.json"), std::ios::binary) << pack;
    const bool done = RunCli(Faulty("drop-after=" + std::to_string(middle)) + set).exit_code == 0;
    (done ? works : fails) = middle;
  }
  std::ofstream(P("pack.json"), std::ios::binary) << pack;
  const CliRun lost = RunCli(Faulty("drop-after=" + std::to_string(fails)) + set);
  EXPECT_EQ(lost.exit_code, 1);
  EXPECT_EQ(lost.out, "");
  EXPECT_EQ(lost.err,
            "whether CUV Threshold was written is unknown: the gauge could not be read afterwards; "
            "read it back (df get \"CUV Threshold\")\n");
  EXPECT_EQ(RunCli(Device() + "df get \"CUV Threshold\"").out, "2700\n") << "it was written";
}

}  // namespace
}  // namespace cw::test
