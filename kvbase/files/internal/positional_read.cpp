#include "kvbase/files/internal/positional_read.h"

#include <climits>
#include <cstddef>

#if defined(__unix__)
#include <errno.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace kvbase::internal {
namespace {

// For streams without a file behind them, and systems without positional reads.
bool SeekAndRead(std::FILE* file, std::uint64_t offset, KReadPiece* pieces, int count) {
  if (offset > static_cast<std::uint64_t>(LONG_MAX)) return false;
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  for (int i = 0; i < count; ++i)
    if (std::fread(pieces[i].bytes, 1, pieces[i].count, file) != pieces[i].count) return false;
  return true;
}

}  // namespace

bool ReadAt(std::FILE* file, std::uint64_t offset, void* bytes, std::size_t count) {
  KReadPiece piece{bytes, count};
  return ReadPiecesAt(file, offset, &piece, 1);
}

bool ReadPiecesAt(std::FILE* file, std::uint64_t offset, KReadPiece* pieces, int count) {
#if defined(__unix__)
  static_assert(sizeof(KReadPiece) == sizeof(iovec) && offsetof(KReadPiece, bytes) == offsetof(iovec, iov_base) &&
                    offsetof(KReadPiece, count) == offsetof(iovec, iov_len),
                "a read piece is an iovec");
#endif
  if (offset > static_cast<std::uint64_t>(LONG_MAX)) return false;
#if defined(__unix__)
  const int descriptor = fileno(file);
  if (descriptor < 0) return SeekAndRead(file, offset, pieces, count);
  auto* vector = reinterpret_cast<iovec*>(pieces);
  // One call moves at most about 2 GiB and may be interrupted: the reading goes on from where a call
  // stopped until every piece is full.
  while (count > 0 && vector->iov_len == 0) ++vector, --count;
  while (count > 0) {
    const ssize_t got = preadv(descriptor, vector, count > IOV_MAX ? IOV_MAX : count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    offset += static_cast<std::uint64_t>(got);
    std::size_t left = static_cast<std::size_t>(got);
    for (; count > 0 && left >= vector->iov_len; ++vector, --count) left -= vector->iov_len;
    if (count > 0 && left > 0) {  // the piece the call stopped in
      vector->iov_base = static_cast<unsigned char*>(vector->iov_base) + left;
      vector->iov_len -= left;
    }
  }
  return true;
#else
  return SeekAndRead(file, offset, pieces, count);
#endif
}

}  // namespace kvbase::internal
