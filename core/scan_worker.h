#pragma once
// The scan of a chosen database file, without any window: open the file
// through the reader cascade, compute the page count, build the root item and
// the four group items, create the engine for the detected version and run
// its Scan, then report completion. The desktop window runs it on a worker
// thread; the command-line tool runs it directly.

#include <functional>
#include <memory>

#include "core/engine_host.h"
#include "core/reader.h"
#include "core/sqlite_base.h"

namespace korvel {

// Creates the engine for a version (1 format 2.1, 2 format 3), or null.
using EngineFactory = std::function<std::unique_ptr<sqlite_base>(int version)>;

inline constexpr char16_t kScanCompleted[] =
    u"Scanning process for selected file has been completed successfully.";
inline constexpr char16_t kScanEndedWithErrors[] =
    u"Scanning process for selected file has ended with errors.";

enum class ScanOutcome {
  NoReader,             // "The Database file used in another prog"
  NoPageSize,           // "There is an error to open Database file"
  Completed,            // the scan ran to its end without finding damage
  CompletedWithDamage,  // the scan reported damage, went past it and ran to its end
  EndedWithErrors,      // the scan stopped at an error it could not go past
};

// True when the scan reached its end, with or without damage on the way.
inline bool ScanReachedItsEnd(ScanOutcome outcome) {
  return outcome == ScanOutcome::Completed || outcome == ScanOutcome::CompletedWithDamage;
}

// The reader and the engine of the open database; they stay with the caller
// after the scan and serve the preview and the save.
struct OpenDatabase {
  std::unique_ptr<Reader> reader;
  std::unique_ptr<sqlite_base> engine;
};

// Runs the scan with the host's settings (input path, version, start offset,
// page size, encoding choice). Fills the host's tree and settings (page
// count, group items, reader).
ScanOutcome RunScanWorker(EngineHost& host, const EngineFactory& factory, OpenDatabase& database);

}  // namespace korvel
