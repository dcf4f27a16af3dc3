// The files every tool reads and writes: what is refused, what a failed write leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../common/file_size_limit.h"
#include "common/file_input.h"
#include "common/file_output.h"

namespace cw::common {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cw_file_io_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path P(const std::string& name) const { return dir_ / name; }
  static void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Get(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(FileIoTest, OnlyARegularFileWithinTheLimitIsRead) {
  Put(P("ten"), "0123456789");
  Put(P("empty"), "");
  fs::create_directories(P("folder"));
  ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
  fs::create_symlink(P("ten"), P("link"));
  struct Case {
    fs::path path;
    std::optional<FileProblem> problem;  // nothing: read
    std::string content;
  };
  const Case cases[] = {
      {P("ten"), std::nullopt, "0123456789"},
      {P("empty"), std::nullopt, ""},
      {P("link"), std::nullopt, "0123456789"},
      {P("missing"), FileProblem::kMissing, ""},
      {P("folder"), FileProblem::kFolder, ""},
      {P("fifo"), FileProblem::kNotRegular, ""},    // would wait for a writer forever
      {"/dev/zero", FileProblem::kNotRegular, ""},  // would never end
      {"", FileProblem::kNoName, ""},
  };
  for (const Case& c : cases) {
    const auto bytes = ReadRegularFile(c.path, 10);
    ASSERT_EQ(bytes.has_value(), !c.problem) << c.path;
    if (bytes) {
      EXPECT_EQ(std::string(bytes->begin(), bytes->end()), c.content);
    } else {
      EXPECT_EQ(bytes.error().problem, *c.problem) << c.path;
      EXPECT_EQ(bytes.error().access, FileAccess::kRead);
    }
  }
  const auto large = ReadRegularFile(P("ten"), 9);
  ASSERT_FALSE(large);
  EXPECT_EQ(DescribeFileError(large.error()),
            "Can not read the file " + P("ten").string() + ": it is larger than 9 bytes.");
}

TEST_F(FileIoTest, AWriteReplacesTheFileWholeAndKeepsItsModeAndLink) {
  ASSERT_TRUE(WriteFileAtomically(P("new"), std::string_view("first")));
  EXPECT_EQ(Get(P("new")), "first");
  fs::permissions(P("new"), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteFileAtomically(P("new"), std::string_view("second")));
  EXPECT_EQ(Get(P("new")), "second");
  EXPECT_EQ(fs::status(P("new")).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  fs::create_symlink(P("new"), P("link"));
  ASSERT_TRUE(WriteFileAtomically(P("link"), std::string_view("third")));
  EXPECT_TRUE(fs::is_symlink(P("link"))) << "the link stays a link";
  EXPECT_EQ(Get(P("new")), "third");
  EXPECT_EQ(Names(), (std::vector<std::string>{"link", "new"})) << "no temporary file stays";
}

TEST_F(FileIoTest, AWriteThatCannotBeDoneLeavesThePathAsItWas) {
  Put(P("old"), "old contents");
  fs::create_directories(P("folder") / "inside");
  ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
  const std::string big(8192, 'x');
  struct Case {
    fs::path path;
    std::string message_end;
  };
  const Case cases[] = {
      {P("folder"), ": it is a folder. Nothing was written."},
      {P("fifo"), ": it is a device, pipe or socket, not a regular file. Nothing was written."},
      {P("no_folder") / "x", ": No such file or directory. No file was created."},
      {P("old"), ": File too large. The existing file was left unchanged."},
      {P("new"), ": File too large. No file was created."},
  };
  const auto names = Names();
  for (const Case& c : cases) {
    std::expected<void, FileError> written;
    {
      const test::FileSizeLimit full_disk(4096);
      written = WriteFileAtomically(c.path, std::string_view(big));
    }
    ASSERT_FALSE(written) << c.path;
    EXPECT_EQ(written.error().access, FileAccess::kWrite);
    EXPECT_EQ(DescribeFileError(written.error()),
              "Can not write the file " + c.path.string() + c.message_end);
  }
  EXPECT_EQ(Names(), names) << "nothing created, no temporary file left";
  EXPECT_EQ(Get(P("old")), "old contents");
  EXPECT_TRUE(fs::is_fifo(P("fifo")));
  EXPECT_TRUE(fs::exists(P("folder") / "inside"));

  EXPECT_FALSE(CheckOutputTarget(P("folder")));
  EXPECT_TRUE(CheckOutputTarget(P("old")));
  EXPECT_TRUE(CheckOutputTarget(P("not_yet")));
}

}  // namespace
}  // namespace cw::common
