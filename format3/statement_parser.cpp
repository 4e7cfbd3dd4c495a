#include "format3/statement_parser.h"

#include <string>
#include <type_traits>
#include <vector>

#include "core/app_title.h"
#include "core/text_codec.h"

namespace korvel {

void ScanReporter::Damage(const std::u16string& text, const std::u16string& caption,
                          MessageIcon icon) {
  engine_.scanReportedDamage = true;
  if (shown_.emplace(text, caption).second) {
    host_.ShowMessage(text, caption, MessageButtons::Ok, icon);
  }
}

void ScanReporter::Fatal(const std::u16string& text, const std::u16string& caption,
                         MessageIcon icon) {
  engine_.scanEndedEarly = true;
  if (shown_.emplace(text, caption).second) {
    host_.ShowMessage(text, caption, MessageButtons::Ok, icon);
  }
}

bool ParseWithoutRowidKey(const std::u16string& descriptor, std::vector<int>& keyColumns) {
  keyColumns.clear();
  const size_t hash = descriptor.rfind(u'#');
  if (hash == std::u16string::npos) return false;
  size_t p = hash + 1;
  while (p < descriptor.size() && descriptor[p] >= u'0' && descriptor[p] <= u'9') ++p;
  const std::u16string_view mark(kWithoutRowidMark);
  if (descriptor.compare(p, mark.size(), mark) != 0) return false;
  p += mark.size();
  while (p < descriptor.size() && descriptor[p] != u')') {
    int value = 0;
    bool digits = false;
    while (p < descriptor.size() && descriptor[p] >= u'0' && descriptor[p] <= u'9') {
      if (value < 1000000) value = value * 10 + (descriptor[p] - u'0');
      digits = true;
      ++p;
    }
    if (digits) keyColumns.push_back(value);
    if (p < descriptor.size() && descriptor[p] != u')') ++p;  // the ","
  }
  return true;
}

namespace {

// A move passed the end of the text.
struct Overrun {};

template <typename Ch>
class StatementParser {
 public:
  using View = std::basic_string_view<Ch>;
  using String = std::basic_string<Ch>;

  StatementParser(ParseContext& ctx, View text)
      : ctx_(ctx), model_(ctx.engine.model), t_(text), n_(static_cast<int64_t>(text.size())) {}

  ParseResult Table(size_t start, int64_t rootPage) {
    const size_t descriptors = model_.tableDescriptors.size();
    const size_t buffers8 = model_.textBuffers8.size();
    const size_t buffers16 = model_.textBuffers16.size();
    try {
      return TableOrThrow(static_cast<int64_t>(start), rootPage);
    } catch (const Overrun&) {
      // Drop whatever this statement appended, so that the four table lists
      // keep sharing their indexes.
      model_.tableDescriptors.resize(descriptors);
      model_.textBuffers8.resize(buffers8);
      model_.textBuffers16.resize(buffers16);
      model_.currentColumnTypes.clear();
      ctx_.report.Damage(kFileIsCorrupted, kAppTitle);
      return ParseResult::Corrupted;
    }
  }

  ParseResult Index(size_t start, bool unique) {
    auto& list = IndexList();
    const size_t before = list.size();
    try {
      return IndexOrThrow(static_cast<int64_t>(start), unique);
    } catch (const Overrun&) {
      list.resize(before);
      ctx_.report.Damage(kFileIsCorrupted, kAppTitle);
      return ParseResult::Corrupted;
    }
  }

 private:
  static constexpr bool kWide = std::is_same_v<Ch, char16_t>;

  Ch At(int64_t i) const { return i >= 0 && i < n_ ? t_[static_cast<size_t>(i)] : Ch(0); }
  // The test made before each step of a bounded move.
  void Bound(int64_t p) const {
    if (p > n_) throw Overrun{};
  }
  static bool Blank(Ch c) { return IsBlank(static_cast<char16_t>(c)); }
  bool StartsWith(int64_t p, std::string_view word) const {
    if (p < 0 || p + static_cast<int64_t>(word.size()) > n_) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (AsciiUpper(static_cast<char16_t>(t_[static_cast<size_t>(p) + i])) !=
          AsciiUpper(static_cast<char16_t>(word[i]))) {
        return false;
      }
    }
    return true;
  }
  static bool WordChar(Ch c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           c == '_';
  }
  View Slice(int64_t from, int64_t to) const {
    if (from < 0) from = 0;
    if (to > n_) to = n_;
    if (from >= to) return View();
    return t_.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
  }
  // Names of tables and columns: UTF-8 in a UTF-8 file.
  static std::u16string FromUtf8(View v) {
    if constexpr (kWide) {
      return std::u16string(v);
    } else {
      return Utf8ToUtf16(v);
    }
  }
  // Index names and type texts: the system code page in a UTF-8 file.
  static std::u16string FromCodePage(View v) {
    if constexpr (kWide) {
      return std::u16string(v);
    } else {
      return AnsiToUtf16(v);
    }
  }
  auto& TableList() {
    if constexpr (kWide) {
      return model_.tableStatements16;
    } else {
      return model_.tableStatements8;
    }
  }
  auto& IndexList() {
    if constexpr (kWide) {
      return model_.indexStatements16;
    } else {
      return model_.indexStatements8;
    }
  }

  // Moves p to the next c (p itself included).
  int64_t NextOf(int64_t p, Ch c) const {
    while (At(p) != c) {
      Bound(p);
      ++p;
    }
    return p;
  }
  // From the "(" at p to the ")" that balances it.
  int64_t Balance(int64_t p) const {
    int depth = 0;
    for (;;) {
      Bound(p);
      const Ch c = At(p);
      if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (--depth <= 0) return p;
      }
      ++p;
    }
  }

  void AppendTable(const std::u16string& descriptor, int64_t start, int64_t end,
                   const std::u16string& create) {
    model_.tableDescriptors.push_back(descriptor);
    if constexpr (kWide) {
      model_.textBuffers16.push_back(descriptor);
    } else {
      model_.textBuffers8.push_back(Utf16ToUtf8(descriptor));
    }
    TableList().push_back(String(Slice(start, end)));
    model_.createStatements.push_back(create + u" )");
    model_.columnTypes.push_back(std::move(model_.currentColumnTypes));
    model_.currentColumnTypes.clear();
  }

  ParseResult TableOrThrow(int64_t S, int64_t rootPage) {
    const int64_t nameStart = S + 13;
    if (At(nameStart) == ')') return ParseResult::NothingStored;
    Bound(nameStart);
    const int64_t open = NextOf(nameStart, '(');
    std::u16string name = FromUtf8(Slice(nameStart, open));
    if constexpr (kWide) name += u' ';

    model_.currentColumnTypes.clear();
    columns_.clear();
    columnKey_ = -1;
    std::u16string create;
    std::u16string segments;
    std::u16string head;
    const char16_t* separator = kWide ? u" , " : u", ";
    int64_t k = 1;
    int64_t P = nameStart;
    for (;;) {
      Bound(P);
      if (k > n_ + 2) throw Overrun{};  // every item consumes at least one character
      if (k == 1) P = open;
      while (Blank(At(P))) ++P;
      if (k == 1) {
        if constexpr (kWide) {
          ctx_.host.WriteOutputLine(u"Table " + name + u" " + u" is found");
        } else {
          ctx_.host.WriteOutputLine(u"Table " + name + u"is found");
        }
        head = name + u"+";
      }
      if (At(P) == '(') {
        while (At(P) == '(') {
          Bound(P);
          ++P;
        }
      }
      if (At(P) == ',') ++P;
      while (Blank(At(P))) {
        Bound(P);
        ++P;
      }
      const bool bracket = At(P) == '[';
      if (k == 1) {
        const std::u16string clean = ctx_.engine.CleanName(name);
        create = clean.empty() ? u"create Table " + name + u" ( "
                               : u"create Table [" + clean + u"] ( ";
      }
      if (StartsWith(P, "CONSTRAINT") || StartsWith(P, "foreign key") ||
          StartsWith(P, "unique") || StartsWith(P, "check") || StartsWith(P, "PRIMARY KEY (") ||
          StartsWith(P, "PRIMARY KEY(")) {
        return ConstraintEnding(S, P, head, segments, rootPage, create);
      }

      // The end of the column definition.
      int64_t E;
      if (At(P) == ',') {
        E = P;
      } else {
        const bool wordTest = !kWide && !ctx_.rightMost;
        int64_t x = P;
        for (;;) {
          Bound(x);
          if (At(x) == ')') {
            E = x;
            break;
          }
          if (StartsWith(x, "check") && At(x + 5) != ']' && !(wordTest && WordChar(At(x + 5)))) {
            x = Balance(NextOf(x, '('));
          }
          if (At(x) == '(') x = NextOf(x, ')');
          if (StartsWith(x, "char(") || StartsWith(x, "char (")) x = NextOf(x + 5, ')');
          ++x;
          if (At(x) == ',') {
            E = x;
            break;
          }
        }
      }
      if (At(E + 1) == ',' || At(E + 2) == ',') {
        ++E;
        if (At(E + 1) == ' ') ++E;
      }

      // The column name.
      int64_t te = P;
      while (te < E && At(te) != ' ' && At(te) != ',' && At(te) != ')') ++te;
      if (bracket && At(te - 1) != ']') {
        te = NextOf(te, ']') + 1;
      }
      std::u16string column = FromUtf8(Slice(P, te));
      columns_.push_back(column);
      if (columnKey_ < 0 && HasPrimaryKey(te, E)) {
        columnKey_ = static_cast<int>(columns_.size()) - 1;
      }
      if (k > 1) create += separator;
      create += u"[" + ctx_.engine.CleanName(column) + u"]";

      // Primary-key marks: "primary key" after "INTEGER".
      for (int64_t i = te; E - i > 18;) {
        if (!kWide) Bound(i);
        if (StartsWith(i, "INTEGER")) {
          i += 8;
          while (E - i >= 11) {
            if (!kWide) Bound(i);
            if (StartsWith(i, "primary key")) {
              column += u"< P.K >";
              i += 11;
            }
            i += 1;
          }
        }
        i += 1;
      }
      segments += column + u"~";

      // The declared type.
      const int64_t s = te;
      int64_t tt = s;
      while (At(tt) == ' ') ++tt;
      std::u16string typeText;
      if (E - s > 3) {
        while (tt <= n_) {
          const Ch c = At(tt);
          if (c == ',' || c == ')') break;
          if (c == '(') tt = NextOf(tt, ')');
          ++tt;
          if (At(tt) == ' ') break;
        }
        typeText = FromCodePage(Slice(s, tt));
      }
      std::u16string type = u"TEXT";
      if (!typeText.empty()) {
        type = ctx_.engine.MapType(typeText);
        if (!ctx_.engine.IsKnownType(type)) type = u"TEXT";
      }
      create += u" " + type;
      model_.currentColumnTypes.push_back(TrimBlanks(type));

      P = E;
      if (At(P) == ')') {
        const std::u16string descriptor = Descriptor(head, segments, rootPage, E, -1);
        if (At(E + 1) == ')') ++E;
        AppendTable(descriptor, S, E, create);
        return ParseResult::Stored;
      }
      ++k;
    }
  }

  // A table constraint ends the column list: the statement runs to the ")"
  // that closes it.
  ParseResult ConstraintEnding(int64_t S, int64_t P, const std::u16string& head,
                               const std::u16string& segments, int64_t rootPage,
                               const std::u16string& create) {
    const bool lenient = !kWide && StartsWith(P, "unique");
    int64_t p = P;
    bool passed = false;
    while (At(p) != '(') {
      if (p > n_) {
        passed = true;
        break;
      }
      ++p;
    }
    if (!passed) {
      int depth = 1;
      for (;;) {
        if (p > n_) {
          passed = true;
          break;
        }
        const Ch c = At(p);
        if (c == '(') {
          ++depth;
        } else if (c == ')') {
          if (--depth == 0) break;
        }
        ++p;
      }
    }
    if (passed) {
      if (!lenient) throw Overrun{};
      ctx_.report.Damage(kFileIsCorrupted, kAppTitle);
      // Keep the text up to its last ")", which then closes the column list
      // as in every other stored statement.
      p = n_;
      for (int64_t q = n_ - 1; q >= P; --q) {
        if (At(q) == ')') {
          p = q;
          break;
        }
      }
    }
    AppendTable(Descriptor(head, segments, rootPage, p, P), S, p, create);
    return ParseResult::Stored;
  }

  // ---- tables without rowid ----

  // Skips blanks from p.
  int64_t SkipBlanks(int64_t p) const {
    while (p < n_ && Blank(At(p))) ++p;
    return p;
  }
  // "PRIMARY" blanks "KEY" at p, as words; the position after it, or -1.
  int64_t PrimaryKeyAt(int64_t p) const {
    if (!StartsWith(p, "primary") || (p > 0 && WordChar(At(p - 1)))) return -1;
    const int64_t q = SkipBlanks(p + 7);
    if (q == p + 7 || !StartsWith(q, "key") || WordChar(At(q + 3))) return -1;
    return q + 3;
  }
  // A column constraint PRIMARY KEY within [from, to).
  bool HasPrimaryKey(int64_t from, int64_t to) const {
    for (int64_t i = from; i < to && i < n_; ++i) {
      if (PrimaryKeyAt(i) >= 0) return true;
    }
    return false;
  }
  // True when the table options after the ")" that closes the column list
  // (at close) hold WITHOUT ROWID ("STRICT" may come before or after it).
  bool WithoutRowid(int64_t close) const {
    int64_t q = close + 1;
    for (int guard = 0; guard < 8 && q < n_; ++guard) {
      q = SkipBlanks(q);
      if (At(q) == ',') q = SkipBlanks(q + 1);
      if (StartsWith(q, "without") && !WordChar(At(q + 7))) {
        const int64_t r = SkipBlanks(q + 7);
        return r > q + 7 && StartsWith(r, "rowid") && !WordChar(At(r + 5));
      }
      if (!StartsWith(q, "strict") || WordChar(At(q + 6))) return false;
      q += 6;
    }
    return false;
  }
  // A name as written, without its quotes, for comparing key and column
  // names.
  static std::u16string Unquoted(std::u16string name) {
    name = TrimBlanks(name);
    if (name.size() >= 2) {
      const char16_t a = name.front();
      const char16_t b = name.back();
      if ((a == u'[' && b == u']') || (a == u'"' && b == u'"') || (a == u'`' && b == u'`') ||
          (a == u'\'' && b == u'\'')) {
        name = name.substr(1, name.size() - 2);
      }
    }
    return AsciiUpper(name);
  }
  // The column names listed by the table constraint PRIMARY KEY (...) that
  // starts in [from, to), as column indexes in key order.
  std::vector<int> TableKey(int64_t from, int64_t to) const {
    std::vector<int> key;
    for (int64_t i = from; i < to && i < n_; ++i) {
      int64_t p = PrimaryKeyAt(i);
      if (p < 0) continue;
      p = SkipBlanks(p);
      if (At(p) != '(') continue;
      ++p;
      while (p < to && At(p) != ')') {
        p = SkipBlanks(p);
        int64_t e = p;
        const Ch open = At(p);
        const Ch close = open == '[' ? Ch(']') : open;
        if (open == '[' || open == '"' || open == '`' || open == '\'') {
          e = p + 1;
          while (e < to && At(e) != close) ++e;
          if (e < to) ++e;
        } else {
          while (e < to && !Blank(At(e)) && At(e) != ',' && At(e) != ')') ++e;
        }
        const std::u16string name = Unquoted(FromUtf8(Slice(p, e)));
        for (size_t c = 0; c < columns_.size(); ++c) {
          if (Unquoted(columns_[c]) != name) continue;
          bool listed = false;
          for (int k : key) listed = listed || k == static_cast<int>(c);
          if (!listed) key.push_back(static_cast<int>(c));
          break;
        }
        // On to the next "," of the list, past COLLATE and ASC or DESC.
        int depth = 0;
        p = e;
        while (p < to && (depth > 0 || (At(p) != ',' && At(p) != ')'))) {
          if (At(p) == '(') ++depth;
          if (At(p) == ')') --depth;
          ++p;
        }
        if (At(p) == ',') ++p;
      }
      return key;
    }
    return key;
  }

  // The descriptor of the table whose column list closes at close; for a
  // table without rowid without "< P.K >" marks and with its key columns.
  // constraintsFrom: where its table constraints start, -1 when it has none.
  std::u16string Descriptor(const std::u16string& head, const std::u16string& segments,
                            int64_t rootPage, int64_t close, int64_t constraintsFrom) const {
    const std::u16string root = u"#" + U16Number(static_cast<long long>(rootPage));
    if (!WithoutRowid(close)) return head + segments + root;
    std::vector<int> key;
    if (constraintsFrom >= 0) key = TableKey(constraintsFrom, close);
    if (key.empty() && columnKey_ >= 0) key.push_back(columnKey_);
    std::u16string plain;
    for (const std::u16string& column : columns_) plain += column + u"~";
    std::u16string out = head + plain + root + kWithoutRowidMark;
    for (size_t i = 0; i < key.size(); ++i) {
      if (i > 0) out += u",";
      out += U16Number(static_cast<long long>(key[i]));
    }
    return out + u")";
  }

  ParseResult IndexOrThrow(int64_t S, bool unique) {
    const int64_t nameStart = S + (unique ? 20 : 13);
    int64_t ne = nameStart;
    while (At(ne) != ' ') {
      Bound(ne);
      ++ne;
    }
    if (At(nameStart) == ')') return ParseResult::NothingStored;
    auto& list = IndexList();
    int64_t k = 1;
    int64_t P = nameStart;
    for (;;) {
      Bound(P);
      if (k == 1 && ne > nameStart) {
        if (!unique) {
          const std::u16string name = FromCodePage(Slice(nameStart, ne));
          if constexpr (kWide) {
            ctx_.host.WriteOutputLine(u"Index " + name + u" is found");
          } else if (ctx_.rightMost) {
            ctx_.host.WriteOutputLine(u"INDEX" + name + u" is found");
          } else {
            ctx_.host.WriteOutputLine(u"INDEX " + name + u" is found");
          }
        }
        P = ne + 3;
      }
      auto skipSeparators = [&] {
        while (At(P) == ' ' || At(P) == '(' || At(P) == ',') {
          Bound(P);
          ++P;
        }
      };
      skipSeparators();
      if (k == 1) {
        while (At(P) != ' ' && At(P) != '(') {
          Bound(P);
          ++P;
        }
        skipSeparators();
      }
      while (At(P) != ' ' && At(P) != ',' && At(P) != ')') {
        Bound(P);
        ++P;
      }
      if (At(P) == ' ') ++P;
      list.push_back(String(Slice(S, P)));
      ++k;
      if (At(P) == ')') return ParseResult::Stored;
    }
  }

  ParseContext& ctx_;
  RecoveredModel& model_;
  View t_;
  int64_t n_;
  std::vector<std::u16string> columns_;  // the column names as written, in order
  int columnKey_ = -1;                   // the first column declared PRIMARY KEY
};

}  // namespace

ParseResult ParseTableStatement(ParseContext& ctx, std::string_view text, size_t start,
                                int64_t rootPage) {
  return StatementParser<char>(ctx, text).Table(start, rootPage);
}

ParseResult ParseTableStatement(ParseContext& ctx, std::u16string_view text, size_t start,
                                int64_t rootPage) {
  return StatementParser<char16_t>(ctx, text).Table(start, rootPage);
}

ParseResult ParseIndexStatement(ParseContext& ctx, std::string_view text, size_t start,
                                bool unique) {
  return StatementParser<char>(ctx, text).Index(start, unique);
}

ParseResult ParseIndexStatement(ParseContext& ctx, std::u16string_view text, size_t start,
                                bool unique) {
  return StatementParser<char16_t>(ctx, text).Index(start, unique);
}

}  // namespace korvel
