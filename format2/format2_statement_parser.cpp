#include "format2/format2_statement_parser.h"

#include <string>
#include <vector>

#include "core/sqlite_base.h"
#include "core/text_codec.h"

namespace korvel::format2 {
namespace {

constexpr std::string_view kCreateTable = "CREATE TABLE";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSpace(char c) { return c == ' ' || (c >= 8 && c <= 13); }

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
  if (at > text.size() || text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != Lower(word[i])) return false;
  }
  return true;
}

// A keyword that is a whole word at `at`.
bool WordAt(std::string_view text, size_t at, std::string_view word) {
  if (!StartsWithNoCase(text, at, word)) return false;
  const size_t end = at + word.size();
  return end >= text.size() || !IsWordChar(text[end]);
}

// "PRIMARY KEY", "FOREIGN KEY" with any blanks between the words.
bool TwoWordsAt(std::string_view text, size_t at, std::string_view first, std::string_view second) {
  if (!WordAt(text, at, first)) return false;
  size_t p = at + first.size();
  if (p >= text.size() || !IsSpace(text[p])) return false;
  while (p < text.size() && IsSpace(text[p])) ++p;
  return WordAt(text, p, second);
}

char ClosingQuote(char open) {
  switch (open) {
    case '[':
      return ']';
    case '"':
      return '"';
    case '\'':
      return '\'';
    case '`':
      return '`';
    default:
      return 0;
  }
}

// Position just past a quoted name or literal opening at `at` (the text end
// when it is not closed). A doubled quote inside stands for itself.
size_t SkipQuoted(std::string_view text, size_t at) {
  const char close = ClosingQuote(text[at]);
  size_t p = at + 1;
  while (p < text.size()) {
    if (text[p] == close) {
      if (close != ']' && p + 1 < text.size() && text[p + 1] == close) {
        p += 2;
        continue;
      }
      return p + 1;
    }
    ++p;
  }
  return text.size();
}

// The text the parsers walk: the statement with its comments and every kind
// of white space turned into blanks, so that positions stay those of the
// original.
std::string WorkingCopy(std::string_view original) {
  std::string copy(original);
  size_t p = 0;
  while (p < copy.size()) {
    const char c = copy[p];
    if (ClosingQuote(c) != 0) {
      p = SkipQuoted(copy, p);
    } else if (c == '-' && p + 1 < copy.size() && copy[p + 1] == '-') {
      while (p < copy.size() && copy[p] != '\n') copy[p++] = ' ';
    } else if (c == '/' && p + 1 < copy.size() && copy[p + 1] == '*') {
      const size_t close = copy.find("*/", p + 2);
      const size_t end = close == std::string::npos ? copy.size() : close + 2;
      while (p < end) copy[p++] = ' ';
    } else {
      ++p;
    }
  }
  for (char& ch : copy) {
    if (IsSpace(ch)) ch = ' ';
  }
  return copy;
}

struct ItemEnd {
  size_t end = 0;
  bool cutOff = false;  // a following "CREATE TABLE" ended the text
};

// The end of one column-list item starting at `from`: the "," or ")" at its
// own nesting level, a following "CREATE TABLE", or the text end.
ItemEnd FindItemEnd(std::string_view text, size_t from) {
  int depth = 0;
  size_t x = from;
  while (x < text.size()) {
    const char c = text[x];
    if (x > from && StartsWithNoCase(text, x, kCreateTable)) return {x, true};
    if (ClosingQuote(c) != 0) {
      x = SkipQuoted(text, x);
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth == 0) return {x, false};
      --depth;
    } else if (c == ',' && depth == 0) {
      return {x, false};
    }
    ++x;
  }
  return {text.size(), false};
}

// The end of the column list from an item start: the ")" that closes it.
ItemEnd FindListEnd(std::string_view text, size_t from) {
  size_t x = from;
  while (true) {
    const ItemEnd item = FindItemEnd(text, x);
    if (item.cutOff || item.end >= text.size() || text[item.end] == ')') return item;
    x = item.end + 1;
  }
}

bool IsTableConstraint(std::string_view text, size_t at) {
  return WordAt(text, at, "unique") || WordAt(text, at, "CONSTRAINT") || WordAt(text, at, "check") ||
         TwoWordsAt(text, at, "PRIMARY", "KEY") || TwoWordsAt(text, at, "FOREIGN", "KEY");
}

// Appends one "< P.K >" for each "primary key" that follows "INTEGER" in the
// column definition d (the text after the column name).
std::u16string PrimaryKeyMarks(std::string_view d) {
  std::u16string marks;
  const long long length = static_cast<long long>(d.size());
  long long i = 0;
  while (length - i >= 19) {
    if (StartsWithNoCase(d, static_cast<size_t>(i), "INTEGER")) {
      long long j = i + 8;
      while (length - j >= 11) {
        if (StartsWithNoCase(d, static_cast<size_t>(j), "primary key")) {
          marks += u"< P.K >";
          j += 11;
        }
        j += 1;
      }
      i = j;
    } else if (StartsWithNoCase(d, static_cast<size_t>(i), "primary key")) {
      marks += u"< P.K >";
      i += 11;
    }
    i += 1;
  }
  return marks;
}

// The declared type after a column name: from s, leading blanks included, to
// the end of its first word; "(" jumps to the next ")".
std::string_view DeclaredType(std::string_view text, size_t s, size_t e) {
  size_t t = s;
  while (t < e && IsSpace(text[t])) ++t;
  if (e - s > 3) {
    const size_t wordStart = t;
    while (t < e) {
      const char c = text[t];
      if (c == ',' || c == ')') break;
      if (c == '(') {
        const size_t close = text.find(')', t);
        t = (close == std::string_view::npos || close > e) ? e : close;
        continue;
      }
      if (IsSpace(c) && t > wordStart) break;
      ++t;
    }
  }
  return text.substr(s, t - s);
}

// The one column named by a table-level "[CONSTRAINT name] PRIMARY KEY (col)"
// at `at`; empty when the constraint is another one or names several columns.
std::string_view SinglePrimaryKeyColumn(std::string_view text, size_t at) {
  size_t p = at;
  auto skipBlanks = [&] {
    while (p < text.size() && text[p] == ' ') ++p;
  };
  if (WordAt(text, p, "CONSTRAINT")) {
    p += 10;
    skipBlanks();
    if (p < text.size() && ClosingQuote(text[p]) != 0) {
      p = SkipQuoted(text, p);
    } else {
      while (p < text.size() && IsWordChar(text[p])) ++p;
    }
    skipBlanks();
  }
  if (!TwoWordsAt(text, p, "PRIMARY", "KEY")) return {};
  p += 7;
  skipBlanks();
  p += 3;
  skipBlanks();
  if (p >= text.size() || text[p] != '(') return {};
  ++p;
  skipBlanks();
  const size_t start = p;
  if (p < text.size() && ClosingQuote(text[p]) != 0) {
    p = SkipQuoted(text, p);
  } else {
    while (p < text.size() && text[p] != ' ' && text[p] != ',' && text[p] != ')') ++p;
  }
  const std::string_view column = text.substr(start, p - start);
  skipBlanks();
  if (p >= text.size() || text[p] != ')') return {};
  return column;
}

// A name without its quotes or brackets and the blanks around it.
std::string Unquoted(std::string_view name) {
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.size() >= 2 && ClosingQuote(name.front()) != 0 && name.back() == ClosingQuote(name.front())) {
    name = name.substr(1, name.size() - 2);
  }
  std::string out;
  for (char c : name) out.push_back(Lower(c));
  return out;
}

bool IsIntegerType(std::string_view type) {
  while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
  while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
  return type.size() == 7 && StartsWithNoCase(type, 0, "INTEGER");
}

}  // namespace

void ParseTableStatement(sqlite_base& engine, std::string_view original, uint32_t rootPage) {
  const size_t zero = original.find('\0');
  if (zero != std::string_view::npos) original = original.substr(0, zero);
  const std::string working = WorkingCopy(original);
  const std::string_view text = working;
  const size_t n = text.size();

  constexpr size_t kNameStart = 13;
  if (n <= kNameStart || text[kNameStart] == ')') return;
  size_t nameEnd = kNameStart;
  if (ClosingQuote(text[kNameStart]) != 0) {
    nameEnd = SkipQuoted(text, kNameStart);
  } else {
    while (nameEnd < n && text[nameEnd] != ' ' && text[nameEnd] != '(') ++nameEnd;
  }
  const std::u16string name = Utf8ToUtf16(text.substr(kNameStart, nameEnd - kNameStart));
  if (engine.owner != nullptr) engine.owner->WriteOutputLine(u"Table " + name + u" is found");

  const size_t open = text.find('(', nameEnd);
  if (open == std::string_view::npos) return;  // no column list to recover

  RecoveredModel& model = engine.model;
  model.currentColumnTypes.clear();
  std::u16string create = u"create Table [" + engine.CleanName(name) + u"] ( ";
  // Per column: its descriptor segment without "~", its name and whether
  // its declared type is exactly INTEGER.
  std::vector<std::u16string> segments;
  std::vector<std::string> columnNames;
  std::vector<bool> integerColumns;
  size_t pos = open + 1;
  size_t statementEnd = n;
  for (int k = 1;; ++k) {
    if (pos < n && text[pos] == ',') ++pos;
    while (pos < n && text[pos] == ' ') ++pos;
    if (pos >= n) {
      statementEnd = n;
      break;
    }
    if (IsTableConstraint(text, pos)) {
      // "PRIMARY KEY (id)" on one INTEGER column makes that column the row
      // number, which the records then leave empty, as for
      // "id INTEGER PRIMARY KEY".
      const std::string key = Unquoted(SinglePrimaryKeyColumn(text, pos));
      for (size_t c = 0; !key.empty() && c < columnNames.size(); ++c) {
        if (columnNames[c] == key && integerColumns[c] &&
            segments[c].find(u"< P.K >") == std::u16string::npos) {
          segments[c] += u"< P.K >";
        }
      }
      statementEnd = FindListEnd(text, pos).end;
      break;
    }
    const ItemEnd item = FindItemEnd(text, pos);
    const size_t e = item.end;

    // The column name with the blank after it; a bracketed or quoted name
    // holding blanks stays whole.
    size_t tokenEnd = e;
    const size_t blank = text.substr(pos, e - pos).find(' ');
    if (blank != std::string_view::npos) tokenEnd = pos + blank + 1;
    const char close = ClosingQuote(text[pos]);
    if (close != 0 && (blank == std::string_view::npos || blank == 0 || text[pos + blank - 1] != close)) {
      const size_t past = SkipQuoted(text, pos);
      if (past > tokenEnd || blank == std::string_view::npos) tokenEnd = std::min(past, e);
    }
    const std::u16string columnName = Utf8ToUtf16(text.substr(pos, tokenEnd - pos));
    create += (k == 1 ? u"" : u" , ") + (u"[" + engine.CleanName(columnName) + u"]");
    segments.push_back(columnName + PrimaryKeyMarks(text.substr(tokenEnd, e - tokenEnd)));
    columnNames.push_back(Unquoted(text.substr(pos, tokenEnd - pos)));

    const std::string_view typeText = DeclaredType(text, tokenEnd, e);
    integerColumns.push_back(IsIntegerType(typeText));
    std::u16string type;
    if (typeText.empty()) {
      type = u"TEXT";
    } else {
      type = engine.MapType(AnsiToUtf16(typeText));
      if (!engine.IsKnownType(type)) type = u"TEXT";
    }
    create += u" " + type;
    model.currentColumnTypes.push_back(TrimBlanks(type));

    pos = e;
    if (e >= n || text[e] == ')' || item.cutOff) {
      statementEnd = e;
      break;
    }
  }

  std::u16string columns;
  for (const std::u16string& segment : segments) columns += segment + u"~";
  model.tableDescriptors.push_back(name + u"+" + columns + u"#" +
                                   U16Number(static_cast<long long>(rootPage)));
  model.tableStatements8.emplace_back(original.substr(0, statementEnd));
  model.createStatements.push_back(create + u" )");
  model.columnTypes.push_back(std::move(model.currentColumnTypes));
  model.currentColumnTypes.clear();
}

void ParseIndexStatement(sqlite_base& engine, std::string_view original) {
  const size_t zero = original.find('\0');
  if (zero != std::string_view::npos) original = original.substr(0, zero);
  const std::string working = WorkingCopy(original);
  const std::string_view text = working;
  const size_t n = text.size();

  const bool unique = StartsWithNoCase(text, 0, "CREATE UNIQUE INDEX");
  const size_t nameStart = unique ? 20 : 13;
  if (n <= nameStart || text[nameStart] == ')') return;
  size_t pos = nameStart;
  while (pos < n && text[pos] != ' ') ++pos;
  const std::string_view name = text.substr(nameStart, pos - nameStart);
  if (!name.empty()) {
    if (!unique && engine.owner != nullptr) {
      engine.owner->WriteOutputLine(u"Index " + DecodeDatabaseText8(name) + u" is found");
    }
    while (pos < n && text[pos] == ' ') ++pos;
    if (WordAt(text, pos, "ON")) pos += 2;
  }
  auto skipSeparators = [&] {
    while (pos < n && (text[pos] == ' ' || text[pos] == '(' || text[pos] == ',')) ++pos;
  };
  for (int k = 1;; ++k) {
    skipSeparators();
    if (k == 1) {
      while (pos < n && text[pos] != ' ' && text[pos] != '(') ++pos;  // the table name
      skipSeparators();
    }
    const size_t columnStart = pos;
    while (pos < n && text[pos] != ' ' && text[pos] != ',' && text[pos] != ')') ++pos;
    if (pos < n && text[pos] == ' ') ++pos;
    engine.model.indexStatements8.emplace_back(original.substr(0, pos));
    if (pos >= n || text[pos] == ')' || pos == columnStart) break;
  }
}

}  // namespace korvel::format2
