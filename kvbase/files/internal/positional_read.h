#ifndef KVBASE_FILES_INTERNAL_POSITIONAL_READ_H
#define KVBASE_FILES_INTERNAL_POSITIONAL_READ_H

// Reading at an offset of the file behind a stream, straight from the file where the system can: the
// stream's small buffer would split every large read in two system calls and copy the bytes once more.
// The stream's own position is left alone. A stream without a file behind it is sought and read.

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kvbase::internal {

// Reads `count` bytes at `offset`; false on a failed read or a short one.
bool ReadAt(std::FILE* file, std::uint64_t offset, void* bytes, std::size_t count);

// One place to read into.
struct KReadPiece {
  void* bytes;
  std::size_t count;
};

// Fills `pieces` one after the other from `offset` on, in as few system calls as the system allows;
// `pieces` is used up. False at the end of the file or on a failed read.
bool ReadPiecesAt(std::FILE* file, std::uint64_t offset, KReadPiece* pieces, int count);

}  // namespace kvbase::internal

#endif  // KVBASE_FILES_INTERNAL_POSITIONAL_READ_H
