#include "cli_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace cw::test {

CliRun RunCli(const std::string& arguments, const std::string& environment) {
  // Runs on several threads at once (stations side by side) each keep their own stderr.
  static std::atomic<int> runs{0};
  const auto err_path =
      std::filesystem::temp_directory_path() /
      ("cw-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++runs) + ".err");
  const std::string command = (environment.empty() ? "" : "env " + environment + " ") +
                              std::string(CELLWARDEN_CLI) + " " + arguments + " 2>" +
                              err_path.string();
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.out += buffer.data();
  const int status = ::pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(err_path);
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  std::filesystem::remove(err_path);
  return run;
}

int Exchanges(const CliRun& traced) {
  static const std::regex kExchange("\\[usb\\] (hid set|hid get|bulk out|bulk in) ");
  std::istringstream lines(traced.err);
  int exchanges = 0;
  for (std::string line; std::getline(lines, line);) {
    exchanges += std::regex_search(line, kExchange) ? 1 : 0;
  }
  return exchanges;
}

std::vector<std::string> LogLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

namespace {

std::filesystem::path ScratchFolder() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("cw-") + test->test_suite_name() + "." + test->name() + "-" +
                     std::to_string(::getpid());
  std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests
  return std::filesystem::temp_directory_path() / name;
}

}  // namespace

ScratchFolderTest::ScratchFolderTest() : dir_(ScratchFolder()) {
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
}

ScratchFolderTest::~ScratchFolderTest() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string ScratchFolderTest::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ScratchFolderTest::Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace cw::test
