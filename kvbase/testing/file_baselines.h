#ifndef KVBASE_TESTING_FILE_BASELINES_H
#define KVBASE_TESTING_FILE_BASELINES_H

// Benchmark baselines for file work: writing and reading the same number of bytes with the C runtime's
// streams, as plainly as a program can.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

// Writes `bytes` to a file created at `path` in the mode saves use, flushed and closed.
inline void KRawWrite(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
  std::fclose(file);
}

// Reads the first bytes.size() bytes of the file at `path` into `bytes`.
inline void KRawRead(const std::string& path, std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
}

#endif  // KVBASE_TESTING_FILE_BASELINES_H
