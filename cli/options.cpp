#include "cli/options.h"

namespace korvel::cli {

namespace {

bool ParseFormat(const std::string& text, RowFormat& format) {
  if (text == "tsv") format = RowFormat::Tsv;
  else if (text == "csv") format = RowFormat::Csv;
  else if (text == "json") format = RowFormat::Json;
  else return false;
  return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CliOptions& o = parsed.options;
  std::vector<std::string> files;
  bool formatGiven = false;
  bool optionsEnded = false;

  // Options that take a value: the value is the rest of a short option
  // ("-oPATH"), the text after "=" of a long one ("--output=PATH"), or the
  // next argument.
  enum class Valued { None, Output, Only, Show, Format };

  for (size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    Valued valued = Valued::None;
    std::string value;
    bool valueAttached = false;
    std::string name;

    if (arg.rfind("--", 0) == 0) {
      name = arg;
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        valueAttached = true;
      }
      if (name == "--help") o.help = true;
      else if (name == "--version") o.version = true;
      else if (name == "--list") o.list = true;
      else if (name == "--yes") o.yes = true;
      else if (name == "--quiet") o.quiet = true;
      else if (name == "--no-deleted") o.noDeleted = true;
      else if (name == "--no-orphans") o.noOrphans = true;
      else if (name == "--output") valued = Valued::Output;
      else if (name == "--only") valued = Valued::Only;
      else if (name == "--show") valued = Valued::Show;
      else if (name == "--format") valued = Valued::Format;
      else {
        parsed.error = "unknown option " + name;
        break;
      }
      if (valued == Valued::None && valueAttached) {
        parsed.error = "option " + name + " takes no value";
        break;
      }
    } else {
      // One or more short options, e.g. "-yq" or "-oPATH".
      for (size_t k = 1; k < arg.size(); ++k) {
        const char c = arg[k];
        name = std::string("-") + c;
        switch (c) {
          case 'h': o.help = true; continue;
          case 'V': o.version = true; continue;
          case 'l': o.list = true; continue;
          case 'y': o.yes = true; continue;
          case 'q': o.quiet = true; continue;
          case 'o': valued = Valued::Output; break;
          case 't': valued = Valued::Only; break;
          case 's': valued = Valued::Show; break;
          default: parsed.error = "unknown option " + name; break;
        }
        if (!parsed.error.empty()) break;
        if (k + 1 < arg.size()) {
          value = arg.substr(k + 1);
          valueAttached = true;
        }
        break;
      }
      if (!parsed.error.empty()) break;
    }

    if (valued == Valued::None) continue;
    if (!valueAttached) {
      if (i + 1 >= args.size()) {
        parsed.error = "option " + name + " needs a value";
        break;
      }
      value = args[++i];
    }
    switch (valued) {
      case Valued::Output:
        if (value.empty()) parsed.error = "option " + name + " needs a path";
        o.output = value;
        break;
      case Valued::Only: o.only.push_back(value); break;
      case Valued::Show:
        if (o.showGiven) parsed.error = "option " + name + " may be given only once";
        o.show = value;
        o.showGiven = true;
        break;
      case Valued::Format:
        if (!ParseFormat(value, o.format)) {
          parsed.error = "unknown format \"" + value + "\" (use tsv, csv or json)";
        }
        formatGiven = true;
        break;
      case Valued::None: break;
    }
  }

  if (!parsed.error.empty() || o.help || o.version) return parsed;
  if (files.empty()) {
    parsed.error = "no database file given";
  } else if (files.size() > 1) {
    parsed.error = "more than one database file given";
  } else if (o.list && o.showGiven) {
    parsed.error = "--list and --show cannot be combined";
  } else if (formatGiven && !o.showGiven) {
    parsed.error = "--format applies to --show only";
  } else {
    o.file = files[0];
  }
  return parsed;
}

std::string UsageText() {
  return "Usage: korvel-recover [OPTIONS] FILE\n"
         "Recovers the tables, indexes, views and triggers of the damaged SQLite database\n"
         "FILE into a new database \"Repaired_\" + its name, beside it. FILE is only read.\n"
         "\n"
         "  -l, --list           print each recovered object as KIND<TAB>NAME and exit\n"
         "  -s, --show NAME      print the records of table NAME, or the statement of\n"
         "                       index, view or trigger NAME, to standard output and exit\n"
         "      --format FORMAT  tsv (default), csv or json, for --show\n"
         "  -o, --output PATH    write the repaired database to PATH\n"
         "  -t, --only NAME      recover only the object NAME (repeatable)\n"
         "      --no-deleted     leave out the deleted records found in free space and\n"
         "                       on freelist pages (group \"deleted\", tables NAME_deleted)\n"
         "      --no-orphans     leave out the pages no table reaches (their rows join\n"
         "                       the table they fit, or the table lost_and_found)\n"
         "  -y, --yes            replace an existing repaired database without asking\n"
         "  -q, --quiet          print only errors, warnings and questions\n"
         "  -h, --help           show this help and exit\n"
         "  -V, --version        show the version and exit\n"
         "\n"
         "NAME is the object's name as --list prints it. Progress and results go to\n"
         "standard error; Ctrl-C stops a save after the current record and keeps what\n"
         "was written.\n"
         "\n"
         "Exit status: 0 success, 1 the file could not be read or recovered, 2 usage\n"
         "error, 3 an existing repaired database was kept (the question was answered No).\n";
}

}  // namespace korvel::cli
