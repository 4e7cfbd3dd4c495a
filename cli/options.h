#pragma once
// The command line of korvel-recover.

#include <string>
#include <vector>

namespace korvel::cli {

enum class RowFormat { Tsv, Csv, Json };

struct CliOptions {
  bool help = false;
  bool version = false;
  bool list = false;
  bool yes = false;
  bool quiet = false;
  std::string file;
  std::string output;             // -o: the repaired database's path
  std::vector<std::string> only;  // -t: recover only these objects
  std::string show;               // -s: print this object and exit
  bool showGiven = false;
  RowFormat format = RowFormat::Tsv;
  bool noDeleted = false;  // leave out the records carved from free space
  bool noOrphans = false;  // leave out the pages no table reaches
};

struct ParsedCommandLine {
  CliOptions options;
  std::string error;  // empty when the command line is usable
};

// args without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string UsageText();

}  // namespace korvel::cli
