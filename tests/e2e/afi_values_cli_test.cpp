// Values as the data-flash commands and the converters take them: typed on the command line or
// read from an .afi, a value is stored as the one given, or refused, or stored otherwise with a
// word that says what was stored.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

class AfiValuesCli : public ScratchFolderTest {
 protected:
  // `text` with `key`'s value replaced, and the line it stands on.
  static std::pair<std::string, std::size_t> WithValue(const std::string& text,
                                                       const std::string& key,
                                                       const std::string& value) {
    std::istringstream in(text);
    std::string out;
    std::size_t number = 0;
    std::size_t at = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      if (line.starts_with(key + " = ")) {
        line = key + " = " + value;
        at = number;
      }
      out += line + "\n";
    }
    return {out, at};
  }
};

TEST_F(AfiValuesCli, AValueIsStoredAsTypedOrRefused) {
  struct Case {
    std::string args;
    int exit_code;
    std::string out;
    std::string err_part;
  };
  const Case cases[] = {
      {"param encode 'AFE OC Dsg Time' FF", 1, "", "between 00 and 0F hex"},
      {"param encode 'AFE OC Dsg Time' 80", 1, "", "between 00 and 0F hex"},
      {"param encode 'AFE OC Dsg Time' 0F", 0, "0F\n", ""},
      {"param encode --clamp 'AFE OC Dsg Time' 80", 0, "0F\n",
       "AFE OC Dsg Time 80 is taken as 0F."},
      {"param encode 'Cell1 Voltage Gain' 0.999985", 0, "FF FF\n", ""},
      {"param encode 'AFE Pack Gain' 15.999756", 0, "FF FF\n", ""},
      {"param encode 'CUV Threshold' 2600abc", 1, "", "not a valid number"},
      {"param encode --clamp 'CUV Threshold' 2600abc", 1, "", "not a valid number"},
      {"param encode 'Manuf Date' 2108-1-1", 0, "FE 21\n",
       "Manuf Date 2108-1-1 is taken as 2107-1-1."},
      {"df set 'AFE OC Dsg Time' FF", 1, "", "between 00 and 0F hex"},
      {"df set 'AFE OC Dsg Time' 80", 1, "", "between 00 and 0F hex"},
      {"df set 'Cell1 Voltage Gain' 0.999985", 0, "0.999985\n", ""},
      {"df set 'Manuf Date' 2023-13-1", 0, "2023-12-1\n",
       "Manuf Date 2023-13-1 is taken as 2023-12-1."},
      {"df set 'Manuf Date' 2023-2-30", 0, "2023-2-30\n",
       "Manuf Date 2023-2-30 is no date of the calendar; it is taken as it stands."},
  };
  const std::string before = Sim("df get 'AFE OC Dsg Time'").out;
  ASSERT_FALSE(before.empty());
  for (const Case& c : cases) {
    const CliRun run = c.args.starts_with("df ") ? Sim(c.args) : RunCli(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out, c.out) << c.args;
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << c.args << "\n" << run.err;
  }
  EXPECT_EQ(Sim("df get 'AFE OC Dsg Time'").out, before) << "a refused value writes nothing";
}

// A value the gauge would get as another number refuses the file, in the load and in every
// converter, naming the key and its line; nothing is written.
TEST_F(AfiValuesCli, AValueThatIsNoNumberRefusesTheFileEverywhere) {
  ASSERT_EQ(Sim("df read-all -o " + P("good.afi")).exit_code, 0);
  ASSERT_EQ(Sim("fw export " + P("pack.bin")).exit_code, 0);
  const std::string good = Read(P("good.afi"));
  const std::string cuv = Sim("df get 'CUV Threshold'").out;
  for (const std::string value : {"26\xC3\xA9"
                                  "0",
                                  "26 00", "1e3", "0x10", "0xA28", "0b1", "2600abc"}) {
    const auto [text, line] = WithValue(good, "CUV Threshold", value);
    ASSERT_NE(line, 0u);
    Write(P("bad.afi"), text);
    const std::string named = "CUV Threshold = " + value + " (line " + std::to_string(line) + ")";
    for (const std::string& command : {"df write " + P("bad.afi"), "convert afi-fs " + P("bad.afi"),
                                       "convert merge-fs " + P("bad.afi") + " " + P("pack.bin"),
                                       "convert merge-bin " + P("bad.afi") + " " + P("pack.bin")}) {
      const CliRun run = command.starts_with("df ") ? Sim(command) : RunCli(command);
      EXPECT_EQ(run.exit_code, 1) << command << " " << value << "\n" << run.err;
      EXPECT_NE(run.err.find(named), std::string::npos) << command << "\n" << run.err;
      EXPECT_EQ(run.err.find("Suscess"), std::string::npos) << command;
      EXPECT_EQ(run.out, "") << command;
    }
  }
  EXPECT_FALSE(fs::exists(P("bad.afi.fs")));
  EXPECT_FALSE(fs::exists(P("pack.bin.AFIcombined.fs")));
  EXPECT_FALSE(fs::exists(P("pack_new.bin")));
  EXPECT_EQ(Sim("df get 'CUV Threshold'").out, cuv);
}

// Clamped, cut and repeated values warn, naming key and line; the load still succeeds.
TEST_F(AfiValuesCli, AFileValueTakenAsAnotherWarnsAndTheLoadSucceeds) {
  ASSERT_EQ(Sim("df read-all -o " + P("good.afi")).exit_code, 0);
  const auto cuv = WithValue(Read(P("good.afi")), "CUV Threshold", "70000");
  const auto name = WithValue(cuv.first, "Device Chemistry", "LIONX");
  const std::size_t cuv_line = cuv.second;
  const std::size_t name_line = name.second;
  Write(P("warn.afi"), name.first + "COV Time = 5\n");
  const CliRun run = Sim("df write " + P("warn.afi"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("CUV Threshold = 70000 (line " + std::to_string(cuv_line) + ") as 32767"),
            std::string::npos)
      << run.err;
  EXPECT_NE(
      run.err.find("Device Chemistry = LIONX (line " + std::to_string(name_line) + ") as LION"),
      std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("Keys given more than once in the constants file (1): COV Time"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("Load Process Suscess!"), std::string::npos) << run.err;
  EXPECT_EQ(Sim("df get 'CUV Threshold'").out, "32767\n");
  EXPECT_EQ(Sim("df get 'COV Time'").out, "5\n");
  EXPECT_EQ(Sim("df get 'Device Chemistry'").out, "LION\n");
}

}  // namespace
}  // namespace cw::test
