// frcore: the register's service.
//
//   frcore        normal operation: the core loop on the main thread, the host link on another
//   frcore -s     the host link alone; commands for the core are answered with code 8
//   frcore -c     erase the identity memory, then show it as -d does
//   frcore -d     show the identity memory, 64 rows of 64 bytes, on standard output
// With FRCORE_ROOT set, the service runs on the simulated board in that directory.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "core/core_worker.h"
#include "core/state/device_state.h"
#include "link/host_link.h"
#include "platform/board.h"
#include "platform/service_lock.h"
#include "reference/cashier.h"
#include "storage/identity_memory.h"

namespace {

void showIdentityMemory(const IdentityMemory& memory) {
  for (const std::string& row : memory.rows()) std::printf("%s\n", row.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  // Shared with the detached host link thread for the life of the process.
  static std::unique_ptr<platform::Board> board = platform::boardFromEnvironment();
  // Held for the life of the process: two services on one board would number two documents
  // alike.
  const auto lock = platform::ServiceLock::acquire(board->serviceLockPath());
  if (!lock) {
    std::printf("ANOTHER SERVICE RUNS ON THIS BOARD (%s)\n", board->serviceLockPath().c_str());
    std::fflush(stdout);
    return 1;
  }

  if (mode == "-c" || mode == "-d") {
    IdentityMemory memory(*board);
    if (mode == "-c") memory.erase();
    showIdentityMemory(memory);
    return 0;
  }

  if (mode == "-s") {
    HostLink link(board->hostPortPath(), deviceState(), *board, HostLink::Core::Absent);
    link.run();
    return 0;
  }

  std::srand(static_cast<unsigned>(board->now()));
  bindCashierTable(*board);
  bindDiscountTable(*board);
  bindSectionTable(*board);
  CoreWorker worker(deviceState(), *board, cashierTable(), discountTable(), sectionTable());
  worker.init();
  std::thread([] {
    HostLink link(board->hostPortPath(), deviceState(), *board);
    link.run();
  }).detach();
  worker.runLoop();
}
