#include "core/database_detection.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/engine_host.h"
#include "core/reader.h"
#include "core/rebuilt_header.h"

namespace korvel {
namespace {

constexpr size_t kSearchBlock = 4 << 20;

inline unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool MatchesAt(const uint8_t* data, std::string_view needle) {
  for (size_t i = 0; i < needle.size(); ++i) {
    if (Lower(data[i]) != Lower(static_cast<unsigned char>(needle[i]))) return false;
  }
  return true;
}

// The first byte of the needle that letter case cannot change: candidates
// are found with memchr on it.
size_t AnchorIndex(std::string_view needle) {
  for (size_t i = 0; i < needle.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(needle[i]);
    if (Lower(c) == c && !(c >= 'a' && c <= 'z')) return i;
  }
  return needle.size();
}

// Searches data[0, size) for needle starting at positions [0, lastStart].
// Returns the offset or kNotFound.
uint64_t SearchBlock(const uint8_t* data, size_t size, std::string_view needle, size_t anchor,
                     size_t lastStart) {
  if (size < needle.size()) return kNotFound;
  lastStart = std::min(lastStart, size - needle.size());
  if (anchor == needle.size()) {  // all letters: plain scan
    for (size_t p = 0; p <= lastStart; ++p) {
      if (MatchesAt(data + p, needle)) return p;
    }
    return kNotFound;
  }
  const uint8_t anchorByte = static_cast<uint8_t>(needle[anchor]);
  const uint8_t* cursor = data + anchor;
  const uint8_t* end = data + lastStart + anchor + 1;
  while (cursor < end) {
    const void* hit = std::memchr(cursor, anchorByte, static_cast<size_t>(end - cursor));
    if (hit == nullptr) break;
    const auto* h = static_cast<const uint8_t*>(hit);
    const size_t start = static_cast<size_t>(h - data) - anchor;
    if (MatchesAt(data + start, needle)) return start;
    cursor = h + 1;
  }
  return kNotFound;
}

}  // namespace

uint64_t FindHeaderPosition(Reader& reader, std::string_view needle, uint64_t first,
                            uint64_t last) {
  if (needle.empty() || last < first || reader.length < needle.size()) return kNotFound;
  last = std::min<uint64_t>(last, reader.length - needle.size());
  if (last < first) return kNotFound;
  const size_t anchor = AnchorIndex(needle);

  if (const uint8_t* bytes = reader.Bytes()) {
    const uint64_t found = SearchBlock(bytes + first, static_cast<size_t>(reader.length - first),
                                       needle, anchor, static_cast<size_t>(last - first));
    return found == kNotFound ? kNotFound : first + found;
  }

  std::vector<uint8_t> block(kSearchBlock + needle.size());
  for (uint64_t start = first; start <= last;) {
    const size_t want = static_cast<size_t>(
        std::min<uint64_t>(block.size(), reader.length - start));
    const size_t got = reader.ReadAt(start, block.data(), want);
    if (got < needle.size()) break;
    const uint64_t lastHere = std::min<uint64_t>(last - start, got - needle.size());
    const uint64_t found = SearchBlock(block.data(), got, needle, anchor,
                                       static_cast<size_t>(lastHere));
    if (found != kNotFound) return start + found;
    start += lastHere + 1;
  }
  return kNotFound;
}

namespace {

// The database is taken to start at position 0 with the page size and the
// encoding its pages show.
bool TakeRebuiltHeader(Reader& reader, DetectionResult& result) {
  const std::optional<RebuiltHeader> rebuilt = RebuildHeader(reader);
  if (!rebuilt) return false;
  result.startOffset = 1;
  result.headerRebuilt = true;
  result.pageSize = rebuilt->pageSize;
  result.encodingByte = rebuilt->textEncoding;
  result.notice = HeaderRebuiltNotice(rebuilt->pageSize, rebuilt->textEncoding);
  return true;
}

}  // namespace

int DetectVersion(Reader& reader, DetectionResult& result) {
  const uint64_t length = reader.length;
  result.fileLength = length;
  result.startOffset = 0;
  if (length < kFormat3MinimumLength) {
    result.messages.push_back(u"File Format not supported, please select file again");
    return 0;
  }
  // Format 3: the positions 0 to L - 513 (at least position 0).
  const uint64_t last3 = length > kFormat3MinimumLength ? length - kFormat3MinimumLength - 1 : 0;
  const uint64_t at3 = FindHeaderPosition(reader, {kFormat3Magic, kFormat3MagicLength}, 0, last3);
  if (at3 != kNotFound) {
    result.startOffset = at3 + 1;
    return 2;
  }
  // Format 2.1: the positions 0 to L - 1024.
  if (length < kFormat2MinimumLength) {
    if (TakeRebuiltHeader(reader, result)) return 2;
    result.messages.push_back(u"File Format not supported, please select file again");
    return 0;
  }
  const uint64_t at2 = FindHeaderPosition(reader, {kFormat2Magic, kFormat2MagicLength}, 0,
                                          length - kFormat2MinimumLength);
  if (at2 == kNotFound) {
    if (TakeRebuiltHeader(reader, result)) return 2;
    result.messages.push_back(u"The Database content is not in its appropriate form");
    return 0;
  }
  result.startOffset = at2 + 1;
  return 1;
}

DetectionResult DetectDatabaseFile(const std::string& path) {
  DetectionResult result;
  std::unique_ptr<Reader> reader = OpenReader(path);
  if (!reader) {
    result.messages.push_back(u"The database file is used by other process.");
    return result;
  }
  result.readerOpened = true;
  result.version = DetectVersion(*reader, result);
  if (result.version == 0) {
    result.messages.push_back(u"Version cannot be detected.Please select the version to continue");
    return result;
  }
  if (result.version == 1) {
    result.utf8Chosen = true;
    result.pageSize = kFormat2PageSize;
  } else {
    if (!result.headerRebuilt) {
      uint8_t header[kFormat3HeaderSize] = {};
      reader->ReadAt(result.HeaderPosition(), header, sizeof header);
      uint64_t pageSize = (static_cast<uint64_t>(header[kHeaderPageSizeOffset]) << 8) |
                          header[kHeaderPageSizeOffset + 1];
      if (pageSize == 1) pageSize = 65536;
      result.pageSize = pageSize;
      result.encodingByte = header[kHeaderTextEncodingOffset];
    }
    if (result.encodingByte == 1) result.utf8Chosen = true;
    if (result.encodingByte == 2) result.utf16Chosen = true;
  }
  result.pageCount = result.pageSize == 0 ? 0 : result.fileLength / result.pageSize;
  return result;
}

void ApplyDetection(const DetectionResult& detected, ScanSettings& settings) {
  settings.version = detected.version;
  settings.startOffset = detected.startOffset;
  settings.pageSize = detected.pageSize;
  settings.pageCount = detected.pageCount;
  settings.utf8Chosen = detected.utf8Chosen;
  settings.utf16Chosen = detected.utf16Chosen;
  settings.headerRebuilt = detected.headerRebuilt;
  settings.rebuiltTextEncoding = detected.headerRebuilt ? detected.encodingByte : 0;
}

}  // namespace korvel
