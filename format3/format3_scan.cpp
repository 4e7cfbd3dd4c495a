// The format-3 scan: header and page-size checks, the page-header pass, the
// walk of the schema b-tree and the filling of the object tree.

#include <cstring>

#include "core/app_title.h"
#include "core/database_detection.h"
#include "format3/page_layout.h"
#include "format3/schema_discovery.h"
#include "format3/sqlite_ver3.h"
#include "format3/statement_parser.h"
#include "format3/text_encoding_choice.h"
#include "format3/tree_population.h"

namespace korvel {
namespace {

// The first byte of a page that can start a file's page: b-tree pages (2, 5,
// 10, 13) and overflow and freelist pages, whose first byte is the high byte
// of a page number (0 to 4 for all but the largest files).
bool AcceptedPageType(uint8_t type) {
  return type <= 5 || type == 10 || type == 13;
}

bool MagicMatches(const uint8_t* header) {
  for (size_t i = 0; i < kFormat3MagicLength; ++i) {
    char a = static_cast<char>(header[i]);
    char b = kFormat3Magic[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

// A file without a header is read as if its header named the page size and
// the text encoding that the file selection found in its pages, and no
// reserved bytes at the end of a page.
void FillRebuiltHeader(uint8_t* header, const ScanSettings& s) {
  std::memcpy(header, kFormat3Magic, kFormat3MagicLength);
  const uint64_t pageSizeField = s.pageSize == kMaxPageSize ? 1 : s.pageSize;
  header[kHeaderPageSizeOffset] = static_cast<uint8_t>(pageSizeField >> 8);
  header[kHeaderPageSizeOffset + 1] = static_cast<uint8_t>(pageSizeField);
  header[20] = 0;  // reserved bytes
  header[kHeaderTextEncodingOffset] = s.rebuiltTextEncoding;
}

}  // namespace

void sqlite_ver3::Scan(const std::string& inputPath) {
  scanEndedEarly = false;
  scanReportedDamage = false;
  engineProgressCounter = 0;
  lastTextLength = 0;
  if (owner == nullptr) return;
  EngineHost& host = *owner;
  ScanSettings& s = host.Settings();
  ScanReporter report(host, *this);
  s.progressCounter = 0;
  if (s.reader == nullptr) {
    report.Fatal(kContentNotInForm, kFileCorruptedCaption);
    return;
  }
  Reader& reader = *s.reader;
  const uint64_t fileLength = reader.length;
  if (s.startOffset != 0) s.startOffset -= 1;
  const uint64_t headerPosition = s.startOffset;
  uint8_t header[kFormat3HeaderSize] = {};
  reader.ReadAt(headerPosition, header, sizeof header);
  if (s.headerRebuilt) FillRebuiltHeader(header, s);

  // A page size that cannot be right ends the scan; a file that does not end
  // on a page boundary is read as far as its whole pages go.
  const uint64_t pageSize = s.pageSize;
  if (pageSize == 0 || pageSize % 512 != 0 || pageSize > kMaxPageSize) {
    report.Fatal(kPageSizeInvalid, kPageSizeErrorCaption);
    return;
  }
  if (fileLength < headerPosition || (fileLength - headerPosition) % pageSize != 0) {
    report.Damage(kPageSizeInvalid, kPageSizeErrorCaption);
  }

  textEncodingSettled = false;
  const format3::EncodingChoice encoding = format3::ChooseTextEncoding(
      utf8Chosen, utf16Chosen, header[kHeaderTextEncodingOffset], reader, GeometryOf(s));
  const TextPass pass =
      encoding.encoding == format3::TextEncoding::Utf8 ? TextPass::Utf8 : TextPass::Utf16;

  if (!MagicMatches(header)) {
    report.Fatal(kContentNotInForm, kFileCorruptedCaption);
    return;
  }

  // From here on every reader of the file (the record walks, the save's
  // route, the statement previews) takes the encoding settled here.
  textEncoding = encoding.encoding;
  textEncodingSettled = true;
  utf8Chosen = s.utf8Chosen = pass == TextPass::Utf8;
  utf16Chosen = s.utf16Chosen = pass == TextPass::Utf16;
  if (encoding.fieldRepaired) {
    host.WriteOutputLine(std::u16string(u"The text encoding in the header is damaged; texts are read as ") +
                         format3::EncodingName(encoding.encoding));
    report.SilentDamage();
  }

  const PageGeometry g = GeometryOf(s);
  model.pageTable.clear();
  model.pageTable.reserve(g.pageCount);
  uint64_t rejectedPages = 0;
  if (pass == TextPass::Utf8) {
    host.SetProgressRange(g.pageCount / 1000);
    host.WriteOutputLine(u"File page_header is reading");
  } else {
    host.WriteOutputLine(u"Reading File page header ");
  }
  for (uint64_t i = 0; i < g.pageCount; ++i) {
    uint8_t bytes[kInteriorPageHeaderSize] = {};
    reader.ReadAt(PageHeaderOffset(g, i + 1), bytes, sizeof bytes);
    if (pass == TextPass::Utf8) {
      if (!AcceptedPageType(bytes[0])) {
        if (i == 0) {
          report.Fatal(kPageSizeOrFileError, kAppTitle, MessageIcon::Exclamation);
          return;
        }
        // Kept as a page that is no b-tree page.
        report.Damage(kPageSizeOrFileError, kAppTitle, MessageIcon::Exclamation);
        model.pageTable.push_back(PageHeader{});
        ++rejectedPages;
      } else {
        model.pageTable.push_back(DecodePageHeader(bytes));
      }
      if (i % 1000 == 0) host.SetProgressPos(i / 1000 + 1);
    } else {
      model.pageTable.push_back(DecodePageHeader(bytes));
    }
  }
  if (rejectedPages * 2 > g.pageCount) {
    // Most pages do not start like pages: the page size is wrong.
    scanEndedEarly = true;
    return;
  }
  if (pass == TextPass::Utf8) host.WriteOutputLine(u"Searching File DDL ");

  SchemaScan scan{*this, host, reader, report, g, UsableSize(g.pageSize, header[20]), pass,
                  encoding.encoding == format3::TextEncoding::Utf16be};
  DiscoverSchema(scan);
  if (scanEndedEarly) return;
  PopulateObjectTree(host, model, pass);
  format3::RecoverUnreachedRecords({*this, host, reader, g, pass == TextPass::Utf16});
}

}  // namespace korvel
