#pragma once
// A format-3 database whose 100-byte header is wiped (no "SQLite format 3"
// anywhere) can still be read when its pages are intact: the page size and
// the text encoding are guessed from the pages themselves.
//
// The database is taken to start at position 0. For each page size from 512
// to 65536, the first that fits wins:
//   - page 1 (its b-tree page header at offset 100) is a well-formed table
//     b-tree page, and the schema leaf it leads to holds at least one record
//     of the schema table's shape (five columns: three texts, a root page, a
//     statement);
//   - of up to kRebuildSamplePages other pages, spread over the file, more
//     start as well-formed b-tree pages than start as nothing a database
//     page can be (overflow and freelist pages, which begin with a page
//     number or are wiped, count neither way).
// The text encoding is UTF-8 unless the type texts of the schema records
// ("table", "index", ...) read better as UTF-16 little- or big-endian.
// Only a bounded number of pages is read, whatever the file's size.

#include <cstdint>
#include <optional>
#include <string>

namespace korvel {

class Reader;

inline constexpr uint32_t kRebuildSamplePages = 64;

struct RebuiltHeader {
  uint32_t pageSize = 0;
  uint8_t textEncoding = 1;  // as the header field: 1 UTF-8, 2 UTF-16le, 3 UTF-16be
};

std::optional<RebuiltHeader> RebuildHeader(Reader& reader);

// What the file selection and the headless tool say about a rebuilt header.
std::u16string HeaderRebuiltNotice(uint64_t pageSize, uint8_t textEncoding);

}  // namespace korvel
