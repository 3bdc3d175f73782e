#include "kvbase/testing/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

KTempDir::KTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kvbase-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

KTempDir::~KTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string KTempDir::Path(const std::string& name) const { return path_ + "/" + name; }

std::vector<unsigned char> KReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool KWriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool KFileExists(const std::string& path) { return std::filesystem::exists(path); }
