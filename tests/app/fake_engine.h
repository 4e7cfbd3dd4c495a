#pragma once
// A scripted recovery engine for the window tests: its scan fills the tree
// like the format-3 scan does, its tables yield generated rows (one of them
// until the stop request), and its save writes a small file beside the
// input after asking before it replaces one.

#include <atomic>
#include <memory>
#include <string>

#include "core/scan_worker.h"

namespace korvel::testing {

struct FakeEngineScript {
  int smallTableRows = 3;
  // Rows per millisecond of the endless table (it stops only on request).
  int endlessRowsPerMillisecond = 50;
  bool scanEndsEarly = false;
  // How long the endless table takes to return once stopped.
  int stopDelayMilliseconds = 0;
  std::atomic<int> scans{0};
  std::atomic<int> saves{0};
  std::atomic<bool> endlessRunning{false};
  std::atomic<int64_t> lastRootPage{-1};
  std::atomic<int> lastColumnCount{-1};
  std::atomic<int> lastKeyMarker{-1};
  std::u16string lastTableName;
};

// Tables: "t1 " (descriptor "t1 +id< P.K >~name~#2", smallTableRows rows)
// and "endless " ("endless +n~#3", rows until stopped). Index " i1 ON t1"
// ("CREATE INDEX i1 ON t1(name)"), view " v1" ("CREATE VIEW v1 AS SELECT
// 'café'"), trigger "g1".
EngineFactory FakeEngineFactory(std::shared_ptr<FakeEngineScript> script);

}  // namespace korvel::testing
