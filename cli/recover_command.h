#pragma once
// What korvel-recover does with a parsed command line: detection, the scan,
// then --list, --show or the save of the checked objects.

#include <atomic>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/options.h"

namespace korvel::cli {

enum ExitStatus {
  kExitSuccess = 0,
  kExitNotRecovered = 1,  // the file could not be read or recovered
  kExitUsage = 2,
  kExitDeclined = 3,      // the overwrite question was answered No
};

// Runs the tool on a parsed command line with a host for its output.
int RunRecover(const CliOptions& options, ConsoleHost& host, std::ostream& out);

// The whole program: parses args (without the program name) and runs it.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::istream& in, const std::atomic<bool>* stopRequest, bool stdinIsTerminal,
                   bool stderrIsTerminal);

// One line per recovered object, "KIND<TAB>NAME", in tree order.
std::vector<std::string> ListObjects(TreeOps& tree, const ScanSettings& settings);

}  // namespace korvel::cli
