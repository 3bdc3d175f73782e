#ifndef KVBASE_TESTING_FILE_BASELINES_H
#define KVBASE_TESTING_FILE_BASELINES_H

// Benchmark baselines for file work: writing and reading the same number of bytes with the C runtime's
// streams, as plainly as a program can.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// A file name for a benchmark's files: in KV_BENCH_DIR when it is set, else in the temporary directory,
// with the process id so that runs side by side do not meet.
inline std::string KBenchmarkPath(const std::string& prefix, const std::string& name) {
  const char* dir = std::getenv("KV_BENCH_DIR");
  const std::filesystem::path base =
      dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
  return (base / ("kvbase-" + prefix + "-bench-" + std::to_string(getpid()) + "-" + name)).string();
}

// Writes `bytes` to a file created at `path` in the mode saves use, flushed and closed.
inline void KRawWrite(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
  std::fclose(file);
}

// The size of the file at `path` in bytes, 0 when it cannot be told.
inline long long KFileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<long long>(size);
}

// Reads the first bytes.size() bytes of the file at `path` into `bytes`.
inline void KRawRead(const std::string& path, std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
}

#endif  // KVBASE_TESTING_FILE_BASELINES_H
