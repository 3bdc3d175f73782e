#ifndef KVTOOL_BATCH_CONVERT_H
#define KVTOOL_BATCH_CONVERT_H

// Converting many files at once on threads of kvtool's own: the library starts none, and every worker
// works on images of its own. Each output is written under a temporary name in its directory and renamed
// when complete, so that a partly written file never stays behind under the final name (an output that
// exists and is not a plain file, such as a link, is written in place instead).

#include <string>
#include <vector>

#include "kvbase/pixels/pixel_types.h"

namespace kvtool {

struct ConvertJob {
  std::string in;
  std::string out;
};

struct ConvertOptions {
  const KPixelKind* kind = nullptr;  // null: the kind that takes the file
  short format = 12;                 // K_FILE_FORMAT_AUTO: by the output's extension
};

// Converts one file into a temporary file renamed to `job.out`. Returns an empty string, or the error
// line to print.
std::string ConvertOne(const ConvertJob& job, const ConvertOptions& options);
// Loads job.in and saves it straight under job.out's name; "" or the error line, as ConvertOne.
std::string ConvertInPlace(const ConvertJob& job, const ConvertOptions& options);

// Converts `jobs` on `threads` workers. Each failure prints its error line and the others go on; on a
// terminal a progress line (files done of total, files per second, time left) is redrawn in place on
// standard error, and one summary line ends the run either way. Returns the number of failures.
int ConvertMany(const std::vector<ConvertJob>& jobs, const ConvertOptions& options, unsigned int threads);

// The output path of `in` in the directory `dir`: its file name, with its extension replaced by
// `extension` unless that is empty.
std::string OutputPath(const std::string& in, const std::string& dir, const std::string& extension);

}  // namespace kvtool

#endif  // KVTOOL_BATCH_CONVERT_H
