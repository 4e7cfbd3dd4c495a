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
        return ConstraintEnding(S, P, head + segments + u"#" + U16Number(static_cast<long long>(rootPage)),
                                create);
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
        if (At(E + 1) == ')') ++E;
        AppendTable(head + segments + u"#" + U16Number(static_cast<long long>(rootPage)), S, E,
                    create);
        return ParseResult::Stored;
      }
      ++k;
    }
  }

  // A table constraint ends the column list: the statement runs to the ")"
  // that closes it.
  ParseResult ConstraintEnding(int64_t S, int64_t P, const std::u16string& descriptor,
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
    AppendTable(descriptor, S, p, create);
    return ParseResult::Stored;
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
