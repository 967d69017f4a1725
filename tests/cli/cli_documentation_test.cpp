// The manual page and the shell completion are written by hand; these tests
// keep them from drifting away from what --help lists.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/cli_runner.h"

namespace kestrine {
namespace {

using Groups = std::map<std::string, std::set<std::string>>;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// "What to fetch:" and "An existing copy (FOLDER is ...):" name groups; the
// parser's own "Options:" group (help, version) is the page's "Other".
std::string GroupOfHelpHeading(const std::string& line) {
  std::string name = line.substr(0, line.find_first_of("(:"));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name == "Options" ? "Other" : name;
}

Groups LongOptionsOfHelp(const std::string& help) {
  static const std::regex optionLine(R"(^  (?:-\w,)?(--[a-z][a-z-]*))");
  Groups groups;
  std::string group;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (!line.empty() && line[0] != ' ' && line.back() == ':') {
      group = GroupOfHelpHeading(line);
    } else if (std::regex_search(line, match, optionLine)) {
      groups[group].insert(match[1]);
    }
  }
  return groups;
}

// Options are the first line after each .TP, grouped by the .SS above them.
Groups LongOptionsOfManualPage(const std::string& page) {
  static const std::regex longOption(R"(--[a-z][a-z-]*)");
  Groups groups;
  std::string group;
  bool tagLine = false;
  std::istringstream lines(page);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(".SH", 0) == 0) {
      group.clear();
    } else if (line.rfind(".SS ", 0) == 0) {
      group = line.substr(4);
      std::erase(group, '"');
    } else if (line == ".TP") {
      tagLine = true;
      continue;
    } else if (tagLine && !group.empty()) {
      std::string plain = std::regex_replace(line, std::regex(R"(\\-)"), "-");
      plain = plain.substr(0, plain.find(" \\fI"));  // a value's name is no option
      for (std::sregex_iterator it(plain.begin(), plain.end(), longOption), end; it != end; ++it) {
        groups[group].insert(it->str());
      }
    }
    tagLine = false;
  }
  return groups;
}

TEST(CliDocumentationTest, ManualPageDescribesEveryOptionOfTheHelpInItsGroup) {
  const testing::CliRun help = testing::RunCliUntil({"--help"}, nullptr);
  ASSERT_EQ(help.status, 0);
  const Groups ofHelp = LongOptionsOfHelp(help.output);
  ASSERT_GE(ofHelp.size(), 5u) << help.output;
  const Groups ofPage = LongOptionsOfManualPage(ReadText(KESTRINE_MANUAL_PAGE));
  EXPECT_EQ(ofPage, ofHelp);
}

TEST(CliDocumentationTest, CompletionOffersEveryOptionAndNoOther) {
  const testing::CliRun help = testing::RunCliUntil({"--help"}, nullptr);
  std::set<std::string> listed;
  for (const auto& [group, options] : LongOptionsOfHelp(help.output)) {
    listed.insert(options.begin(), options.end());
  }
  const std::string script = ReadText(KESTRINE_COMPLETION);
  const std::size_t start = script.find("compgen -W '--") + std::string("compgen -W '").size();
  const std::string offered = script.substr(start, script.find('\'', start) - start);
  std::set<std::string> completed;
  static const std::regex longOption(R"(--[a-z][a-z-]*)");
  for (std::sregex_iterator it(offered.begin(), offered.end(), longOption), end; it != end; ++it) {
    completed.insert(it->str());
  }
  EXPECT_EQ(completed, listed);
  for (const char* mode : {"browsable", "duplicate", "retrieve"}) {
    EXPECT_NE(script.find(mode), std::string::npos) << mode;
  }
}

}  // namespace
}  // namespace kestrine
