#pragma once
// Finds a database header anywhere in a file and settles the format version,
// the text encoding and the page size, as the file selection does before a
// scan. Only reads the file.
//
// Format-3 header fields used (offsets from the header position, big-endian):
//   0  15  "SQLite format 3" (letter case ignored)
//   16  2  page size; the value 1 stands for 65536
//   59  1  low byte of the text encoding: 1 UTF-8, 2 UTF-16le, 3 UTF-16be
// Format 2.1: "** This file contains an SQLite 2.1 database **" (47 bytes),
// 1024-byte pages, UTF-8 text.
// When neither header is found, the pages themselves may still show a
// format-3 database that starts at position 0 (core/rebuilt_header.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class Reader;
struct ScanSettings;

inline constexpr char kFormat3Magic[] = "SQLite format 3";
inline constexpr size_t kFormat3MagicLength = 15;
inline constexpr char kFormat2Magic[] = "** This file contains an SQLite 2.1 database **";
inline constexpr size_t kFormat2MagicLength = 47;
inline constexpr uint64_t kFormat3MinimumLength = 512;
inline constexpr uint64_t kFormat2MinimumLength = 1024;
inline constexpr uint64_t kFormat2PageSize = 1024;
inline constexpr size_t kFormat3HeaderSize = 100;
inline constexpr size_t kHeaderPageSizeOffset = 16;
inline constexpr size_t kHeaderTextEncodingOffset = 59;

inline constexpr uint64_t kNotFound = UINT64_MAX;

// Position of the first case-insensitive match of needle that starts in
// [first, last], or kNotFound. Reads the file in large blocks.
uint64_t FindHeaderPosition(Reader& reader, std::string_view needle, uint64_t first,
                            uint64_t last);

struct DetectionResult {
  int version = 0;           // 0 not detected, 1 format 2.1, 2 format 3
  uint64_t startOffset = 0;  // header position + 1; 0 when no header was found
  uint64_t pageSize = 0;     // 0 when no version was detected
  uint64_t pageCount = 0;    // file length / page size
  bool utf8Chosen = false;
  bool utf16Chosen = false;
  uint8_t encodingByte = 0;  // header byte 59 of a format-3 file, or the rebuilt header's
  // No header was found: page size and encoding were taken from the pages.
  bool headerRebuilt = false;
  uint64_t fileLength = 0;
  bool readerOpened = false;
  // The messages to show, in order, each with the product caption and an
  // information icon.
  std::vector<std::u16string> messages;
  // Said after a detection that succeeded (the rebuilt header); empty else.
  std::u16string notice;

  uint64_t HeaderPosition() const { return startOffset == 0 ? 0 : startOffset - 1; }
};

// The header search alone: version, start offset and its messages.
int DetectVersion(Reader& reader, DetectionResult& result);

// Everything the file selection settles for the file at path.
DetectionResult DetectDatabaseFile(const std::string& path);

// Copies what the scan needs of a detection into the settings.
void ApplyDetection(const DetectionResult& detected, ScanSettings& settings);

}  // namespace korvel
