#pragma once
// The text encoding a format-3 scan reads a file in. The user's choice in
// the file selection comes first; without one the header's text-encoding
// field decides (1 UTF-8, 2 UTF-16le, 3 UTF-16be). A field holding anything
// else is damage: the encoding is then the one under which the schema
// records' texts decode (their first column names the kind of object,
// "table", "index", "view" or "trigger").

#include <cstdint>

#include "core/reader.h"
#include "format3/page_layout.h"
#include "format3/record_reader.h"

namespace korvel::format3 {

// The encoding whose texts the schema records on the schema pages (page 1
// and, when it is an interior page, the pages below it) hold most often.
// UTF-8 when no record says anything.
TextEncoding SchemaTextEncoding(Reader& reader, const PageGeometry& g);

struct EncodingChoice {
  TextEncoding encoding = TextEncoding::Utf8;
  bool fieldRepaired = false;  // the header's field named no encoding
};

// utf16Chosen reads UTF-16 in the byte order the header names (the schema
// decides when it names none); utf8Chosen reads UTF-8; both chosen reads
// UTF-16.
EncodingChoice ChooseTextEncoding(bool utf8Chosen, bool utf16Chosen, uint8_t headerField,
                                  Reader& reader, const PageGeometry& g);

// "UTF-8", "UTF-16le", "UTF-16be".
const char16_t* EncodingName(TextEncoding encoding);

}  // namespace korvel::format3
