#include "cli/options.h"

#include <gtest/gtest.h>

namespace korvel::cli {
namespace {

TEST(CommandLine, ReadsEveryOptionInItsShortAndLongForms) {
  const auto parsed = ParseCommandLine({"-y", "--quiet", "-o", "out.db", "--only", "t1", "-tt2",
                                        "--only=t 3", "damaged.db"});
  ASSERT_EQ(parsed.error, "");
  const CliOptions& o = parsed.options;
  EXPECT_TRUE(o.yes);
  EXPECT_TRUE(o.quiet);
  EXPECT_FALSE(o.list);
  EXPECT_EQ(o.output, "out.db");
  EXPECT_EQ(o.only, (std::vector<std::string>{"t1", "t2", "t 3"}));
  EXPECT_EQ(o.file, "damaged.db");
}

TEST(CommandLine, ShowTakesAFormat) {
  struct Case {
    std::vector<std::string> args;
    RowFormat format;
  } cases[] = {
      {{"-s", "t1", "x.db"}, RowFormat::Tsv},
      {{"--show", "t1", "--format", "csv", "x.db"}, RowFormat::Csv},
      {{"--format=json", "--show=t1", "x.db"}, RowFormat::Json},
      {{"x.db", "-st1", "--format", "tsv"}, RowFormat::Tsv},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseCommandLine(c.args);
    ASSERT_EQ(parsed.error, "") << c.args[0];
    EXPECT_TRUE(parsed.options.showGiven);
    EXPECT_EQ(parsed.options.show, "t1");
    EXPECT_EQ(parsed.options.format, c.format);
    EXPECT_EQ(parsed.options.file, "x.db");
  }
}

TEST(CommandLine, FlagsCombineAndDoubleDashEndsTheOptions) {
  auto parsed = ParseCommandLine({"-yq", "--list", "x.db"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.options.yes && parsed.options.quiet && parsed.options.list);

  parsed = ParseCommandLine({"--", "-odd name.db"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.file, "-odd name.db");
}

TEST(CommandLine, HelpAndVersionNeedNoFile) {
  EXPECT_TRUE(ParseCommandLine({"--help"}).options.help);
  EXPECT_TRUE(ParseCommandLine({"-h"}).options.help);
  EXPECT_TRUE(ParseCommandLine({"--version"}).options.version);
  EXPECT_EQ(ParseCommandLine({"-V"}).error, "");
}

TEST(CommandLine, UsageErrorsSayWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no database file given"},
      {{"a.db", "b.db"}, "more than one database file given"},
      {{"--frobnicate", "a.db"}, "unknown option --frobnicate"},
      {{"-x", "a.db"}, "unknown option -x"},
      {{"a.db", "-o"}, "option -o needs a value"},
      {{"a.db", "--show"}, "option --show needs a value"},
      {{"--output=", "a.db"}, "option --output needs a path"},
      {{"--list=yes", "a.db"}, "option --list takes no value"},
      {{"--show", "t", "--format", "xml", "a.db"}, "unknown format \"xml\" (use tsv, csv or json)"},
      {{"--format", "csv", "a.db"}, "--format applies to --show only"},
      {{"--list", "--show", "t", "a.db"}, "--list and --show cannot be combined"},
      {{"-s", "t", "-s", "u", "a.db"}, "option -s may be given only once"},
  };
  for (const auto& [args, error] : cases) {
    EXPECT_EQ(ParseCommandLine(args).error, error) << (args.empty() ? "" : args[0]);
  }
}

TEST(CommandLine, UsageTextNamesEveryOption) {
  const std::string usage = UsageText();
  for (const char* option : {"--list", "--show", "--format", "--output", "--only", "--yes",
                             "--quiet", "--help", "--version", "Exit status"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(CommandLine, DeletedRecordsAndOrphanPagesAreOnUnlessLeftOut) {
  auto parsed = ParseCommandLine({"damaged.db"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.options.noDeleted);
  EXPECT_FALSE(parsed.options.noOrphans);
  parsed = ParseCommandLine({"--no-deleted", "damaged.db", "--no-orphans"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.options.noDeleted);
  EXPECT_TRUE(parsed.options.noOrphans);
  EXPECT_EQ(ParseCommandLine({"--no-deleted=1", "damaged.db"}).error,
            "option --no-deleted takes no value");
  const std::string usage = UsageText();
  EXPECT_NE(usage.find("--no-deleted"), std::string::npos);
  EXPECT_NE(usage.find("--no-orphans"), std::string::npos);
}

}  // namespace
}  // namespace korvel::cli
