#include "tool_support.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace kvtool {

bool Args::Parse(int argc, char** argv, const std::vector<std::string>& known, const std::vector<std::string>& flags) {
  const auto listed = [](const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& entry : list)
      if (entry == name) return true;
    return false;
  };
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help_ = true;
      continue;
    }
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      positionals_.push_back(arg);
      continue;
    }
    const std::string name = arg.substr(2);
    if (listed(flags, name)) {
      options_[name] = "";
      continue;
    }
    if (!listed(known, name)) {
      std::fprintf(stderr, "kvtool: unknown option %s\n", arg.c_str());
      return false;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "kvtool: option %s needs a value\n", arg.c_str());
      return false;
    }
    options_[name] = argv[++i];
  }
  return true;
}

std::optional<std::string> Args::Get(const std::string& name) const {
  const auto found = options_.find(name);
  if (found == options_.end()) return std::nullopt;
  return found->second;
}

bool ParseInt(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

bool ParseFloat(const std::string& text, float& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtof(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool ParseFloats(const std::string& text, size_t count, std::vector<float>& values) {
  values.clear();
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, ',')) {
    float v;
    if (!ParseFloat(part, v)) return false;
    values.push_back(v);
  }
  return values.size() == count;
}

std::string CurrentErrorLine(const std::string& doing) {
  return "kvtool: " + doing + ": error " + std::to_string(static_cast<int>(KGetError())) + ": " + KGetErrorText();
}

int FailWithCurrentError(const std::string& doing) {
  std::fprintf(stderr, "%s\n", CurrentErrorLine(doing).c_str());
  return 1;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kvtool: %s\n", message.c_str());
  return 2;
}

}  // namespace kvtool
