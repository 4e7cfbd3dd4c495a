#pragma once
// Runs everything a user runs on one file, with every question answered Yes:
// detection, the scan of whichever format it finds, the preview of every
// recovered table, and the save of everything into a repaired database in
// workFolder. Used by the fuzz target and by the test that replays the inputs
// it found.

#include <cstdint>
#include <string>

namespace korvel {

struct WholeRecoveryResult {
  int version = 0;
  uint64_t tables = 0;
  uint64_t previewRows = 0;
  bool saved = false;
};

WholeRecoveryResult RunWholeRecovery(const std::string& inputPath, const std::string& workFolder);

}  // namespace korvel
