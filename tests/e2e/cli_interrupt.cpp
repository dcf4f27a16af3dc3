#include "cli_interrupt.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <regex>

namespace cw::test {

Interrupted InterruptCli(const std::string& arguments, const std::string& started, int signal) {
  return InterruptCli(arguments, started, [signal](pid_t child) { ::kill(child, signal); });
}

Interrupted InterruptCli(const std::string& arguments, const std::string& started,
                         const std::function<void(pid_t)>& act) {
  Interrupted run;
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return run;
  if (child == 0) {
    const std::string command = "exec " + std::string(CELLWARDEN_CLI) + " " + arguments;
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::regex begun(started);
  bool acted = false;
  // A bound for a machine under any load, never reached by a command that stops.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (std::chrono::steady_clock::now() < give_up) {
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 200) > 0) {
      char buffer[4096];
      const ssize_t got = ::read(terminal, buffer, sizeof buffer);
      if (got <= 0) break;  // the command has ended and the terminal is closed
      run.transcript.append(buffer, static_cast<std::size_t>(got));
    }
    if (!acted && std::regex_search(run.transcript, begun)) {
      act(child);
      acted = true;
    }
  }
  if (std::chrono::steady_clock::now() >= give_up) ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(terminal);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.killed_by = WTERMSIG(status);
  return run;
}

}  // namespace cw::test
