#ifndef KVTOOL_TOOL_SUPPORT_H
#define KVTOOL_TOOL_SUPPORT_H

// What every kvtool subcommand shares: its command line split into positionals and --options, number
// parsing, and the one-line error report.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kvbase/foundation/errors.h"

namespace kvtool {

// A subcommand's arguments: positionals in order and "--name value" options. Flags named in `flags`
// take no value.
class Args {
 public:
  // Returns false (after printing why) when an option lacks its value or is not in `known`.
  bool Parse(int argc, char** argv, const std::vector<std::string>& known, const std::vector<std::string>& flags = {});

  const std::vector<std::string>& Positionals() const { return positionals_; }
  bool Has(const std::string& name) const { return options_.count(name) != 0; }
  std::optional<std::string> Get(const std::string& name) const;
  bool HelpAsked() const { return help_; }

 private:
  std::vector<std::string> positionals_;
  std::map<std::string, std::string> options_;
  bool help_ = false;
};

// Strict parsers: the whole text must be the number.
bool ParseInt(const std::string& text, long long& value);
bool ParseFloat(const std::string& text, float& value);
// "a,b,c" into exactly `count` floats.
bool ParseFloats(const std::string& text, size_t count, std::vector<float>& values);

// "kvtool: <doing>: error <code>: <text>" for the current error.
std::string CurrentErrorLine(const std::string& doing);
// Prints that line and returns exit status 1.
int FailWithCurrentError(const std::string& doing);
// Prints "kvtool: <message>" and returns exit status 2 (bad usage).
int UsageError(const std::string& message);

}  // namespace kvtool

#endif  // KVTOOL_TOOL_SUPPORT_H
