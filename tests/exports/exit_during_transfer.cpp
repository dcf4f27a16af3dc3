// A client that leaves while a thread of its own is still inside the pipe library, as a
// production script does when it gives up. "blocked": the thread waits in BulkOut for the
// adapter to take a second request (the first one's reply is never read); "busy": the thread
// keeps writing requests and reading replies. The process must end at once and cleanly; the
// sanitizers of the test build report anything else.
//
//   exit_during_transfer blocked|busy DELAY_US

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bulk_requests.h"
#include "cwpipes.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: exit_during_transfer blocked|busy DELAY_US\n", stderr);
    return 2;
  }
  const bool blocked = std::strcmp(argv[1], "blocked") == 0;
  const auto delay = std::chrono::microseconds(std::atoi(argv[2]));
  const int bulk_out = OpenUsbPort_Bulkout();
  const int bulk_in = OpenUsbPort_Bulkin();
  const auto request = cw::exports::testing::ReadRequest(0x09, 3);
  if (bulk_out < 0 || bulk_in < 0 ||
      (blocked && !BulkOut(bulk_out, request.data(), request.size(), nullptr))) {
    std::fprintf(stderr, "%s\n", CwPipesLastError());
    return 2;
  }
  static std::atomic<bool> inside{false};
  std::thread([=] {
    inside = true;
    if (blocked) {
      BulkOut(bulk_out, request.data(), request.size(), nullptr);
      return;
    }
    cw::exports::testing::Packet reply{};
    for (;;) {
      BulkOut(bulk_out, request.data(), request.size(), nullptr);
      BulkIn(bulk_in, reply.data(), reply.size(), nullptr);
    }
  }).detach();
  while (!inside) std::this_thread::yield();
  std::this_thread::sleep_for(delay);
  return 0;
}
