#include "kvbase/vectors/internal/vector_file.h"

#include <cstring>

namespace kvbase::internal {

bool WriteUint32(std::FILE* file, std::uint32_t value) { return std::fwrite(&value, sizeof value, 1, file) == 1; }

bool ReadUint32(std::FILE* file, std::uint32_t* value) { return std::fread(value, sizeof *value, 1, file) == 1; }

long long BytesLeft(std::FILE* file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return end - here;
}

namespace {

void PackRun(const KRun& run, unsigned char record[12]) {
  const std::uint32_t start = static_cast<std::uint32_t>(run.start);
  const std::uint32_t end = static_cast<std::uint32_t>(run.end);
  std::memcpy(record, &start, 4);
  std::memcpy(record + 4, &end, 4);
  std::memcpy(record + 8, &run.x, 2);
  std::memcpy(record + 10, &run.y, 2);
}

void UnpackRun(const unsigned char record[12], KRun* run) {
  std::uint32_t start, end;
  std::memcpy(&start, record, 4);
  std::memcpy(&end, record + 4, 4);
  run->start = start;
  run->end = end;
  std::memcpy(&run->x, record + 8, 2);
  std::memcpy(&run->y, record + 10, 2);
}

constexpr size_t kRunsPerChunk = 1024;

}  // namespace

size_t KVectorElementFile<KRun>::Write(std::FILE* file, const KRun* runs, size_t count) {
  unsigned char chunk[kRunsPerChunk * 12];
  size_t written = 0;
  while (written < count) {
    const size_t n = count - written < kRunsPerChunk ? count - written : kRunsPerChunk;
    for (size_t i = 0; i < n; ++i) PackRun(runs[written + i], chunk + 12 * i);
    const size_t done = std::fwrite(chunk, 12, n, file);
    written += done;
    if (done != n) break;
  }
  return written;
}

size_t KVectorElementFile<KRun>::Read(std::FILE* file, KRun* runs, size_t count) {
  unsigned char chunk[kRunsPerChunk * 12];
  size_t read = 0;
  while (read < count) {
    const size_t n = count - read < kRunsPerChunk ? count - read : kRunsPerChunk;
    const size_t got = std::fread(chunk, 12, n, file);
    for (size_t i = 0; i < got; ++i) UnpackRun(chunk + 12 * i, &runs[read + i]);
    read += got;
    if (got != n) break;
  }
  return read;
}

}  // namespace kvbase::internal
