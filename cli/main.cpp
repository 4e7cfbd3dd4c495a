// korvel-recover: the headless recovery tool.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "cli/recover_command.h"

namespace {

std::atomic<bool> g_stopRequest{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first Ctrl-C asks the running save to stop after the current record;
// a second one ends the program at once.
extern "C" void OnInterrupt(int) {
  g_stopRequest.store(true);
  static const char note[] =
      "\nkorvel-recover: stopping after the current record (Ctrl-C again to quit at once)\n";
  ssize_t ignored = ::write(STDERR_FILENO, note, sizeof note - 1);
  (void)ignored;
  ::signal(SIGINT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);

  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = korvel::cli::RunCommandLine(args, std::cout, std::cerr, std::cin,
                                                 &g_stopRequest, ::isatty(STDIN_FILENO) == 1,
                                                 ::isatty(STDERR_FILENO) == 1);
  std::cout.flush();
  return status;
}
