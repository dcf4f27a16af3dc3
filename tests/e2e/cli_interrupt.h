#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace cw::test {

struct Interrupted {
  int exit_code = -1;  // -1 when a signal ended it
  int killed_by = 0;
  std::string transcript;  // stdout and stderr as the terminal showed them
};

// Runs cellwarden-cli on a pseudo-terminal, sends `signal` as soon as its output matches
// `started`, and collects what it prints until it ends.
Interrupted InterruptCli(const std::string& arguments, const std::string& started, int signal);
// The same, doing `act` to the running command (its process id given) instead of a signal.
Interrupted InterruptCli(const std::string& arguments, const std::string& started,
                         const std::function<void(pid_t)>& act);

}  // namespace cw::test
