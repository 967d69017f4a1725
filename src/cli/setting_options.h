#pragma once

#include <CLI/CLI.hpp>

#include <span>

#include "cli/cli_options.h"

namespace kestrine {

// The command-line options that stand for a kestrine.conf setting: each
// given value becomes a (key, value) setting, in the order given, applied
// over the file's. One table row per option, so an option is added in one
// place.
class SettingOptions {
 public:
  enum class Form {
    Value,     // --key VALUE
    List,      // --key A,B (repeatable): one setting per item
    Repeated,  // --key 'A, B' (repeatable): one setting per use, commas kept
    Switch,    // --flag: the row's fixed value
  };
  struct Row {
    Form form;
    const char* names;
    const char* key;
    // The value's name in the help, or a switch's value.
    const char* argument;
    const char* help;
  };
  static const std::span<const Row> kFetch;
  static const std::span<const Row> kLimits;
  static const std::span<const Row> kPoliteness;
  static const std::span<const Row> kOutput;
  static const std::span<const Row> kArchive;
  static const std::span<const Row> kRender;

  explicit SettingOptions(CliOptions& options) : options_(options) {}
  void Add(CLI::App& app, std::span<const Row> rows, const std::string& group);

 private:
  void Add(CLI::App& app, const Row& row, const std::string& group);

  CliOptions& options_;
};

}  // namespace kestrine
