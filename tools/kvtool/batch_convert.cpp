#include "batch_convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "any_image.h"
#include "kvbase/foundation/errors.h"
#include "tool_support.h"

namespace kvtool {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kRedraw(200);

// Creates an empty file of a name in the output's directory that no other worker or run uses, with the
// output's extension, which chooses the format the library writes. Created exclusively, so that it is
// never someone else's file or a link. Empty when none could be made.
std::string CreateTemporary(const std::string& out) {
  static std::atomic<unsigned long> counter{0};
  const size_t slash = out.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : out.substr(0, slash + 1);
  const size_t dot = out.rfind('.');
  const std::string extension = dot == std::string::npos || dot < dir.size() ? "" : out.substr(dot);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = dir + ".kvtool-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + extension;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file >= 0) {
      close(file);
      return path;
    }
    if (errno != EEXIST) break;
  }
  return "";
}

// An output that exists and is not a plain file (a link, a device) is written in place, as the one-file
// form writes: renaming over it would replace it.
bool WritesInPlace(const std::string& out) {
  struct stat status;
  return lstat(out.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

// Shows progress and error lines on standard error without mixing them up.
class Reporter {
 public:
  explicit Reporter(size_t total) : total_(total), terminal_(isatty(fileno(stderr)) != 0), start_(Clock::now()) {}

  void Error(const std::string& line) {
    const std::lock_guard<std::mutex> lock(lock_);
    std::fprintf(stderr, "%s%s\n", terminal_ ? "\r\033[K" : "", line.c_str());
    if (terminal_) DrawProgress();
  }

  void Done(bool failed) {
    const std::lock_guard<std::mutex> lock(lock_);
    ++done_;
    failed_ += failed ? 1 : 0;
    if (done_ == total_) changed_.notify_one();
  }

  // Redraws the progress line, at most five times a second, until every file is done; then prints the
  // summary.
  void Follow(const std::string& dir) {
    std::unique_lock<std::mutex> lock(lock_);
    auto drawn = Clock::time_point();
    while (done_ < total_) {
      if (terminal_ && Clock::now() - drawn >= kRedraw) {
        DrawProgress();
        drawn = Clock::now();
      }
      changed_.wait_for(lock, kRedraw);
    }
    const double seconds = Seconds();
    std::fprintf(stderr, "%skvtool: converted %zu of %zu files into %s in %.1f s (%.1f files/s)",
                 terminal_ ? "\r\033[K" : "", done_ - failed_, total_, dir.c_str(), seconds,
                 seconds > 0 ? done_ / seconds : 0.0);
    if (failed_ > 0) std::fprintf(stderr, ", %zu failed", failed_);
    std::fprintf(stderr, "\n");
  }

  size_t Failed() const { return failed_; }

 private:
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  void DrawProgress() {
    const double seconds = Seconds(), rate = seconds > 0 ? done_ / seconds : 0.0;
    std::fprintf(stderr, "\r\033[K%zu/%zu files, %.1f files/s", done_, total_, rate);
    if (rate > 0) std::fprintf(stderr, ", %.0f s left", (total_ - done_) / rate);
    std::fflush(stderr);
  }

  std::mutex lock_;
  std::condition_variable changed_;
  const size_t total_;
  const bool terminal_;
  const Clock::time_point start_;
  size_t done_ = 0;
  size_t failed_ = 0;
};

}  // namespace

std::string OutputPath(const std::string& in, const std::string& dir, const std::string& extension) {
  const size_t slash = in.rfind('/');
  std::string name = slash == std::string::npos ? in : in.substr(slash + 1);
  if (!extension.empty()) {
    const size_t dot = name.rfind('.');
    name = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + extension;
  }
  return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name;
}

std::string ConvertInPlace(const ConvertJob& job, const ConvertOptions& options) {
  short loaded;
  auto image = LoadImageFile(job.in, options.kind, loaded);
  if (!image) return CurrentErrorLine("loading " + job.in);
  if (image->Save(job.out, options.format) == K_SUCCESS) return "";
  return CurrentErrorLine("saving " + job.out + " as " + image->Kind().name);
}

std::string ConvertOne(const ConvertJob& job, const ConvertOptions& options) {
  if (WritesInPlace(job.out)) return ConvertInPlace(job, options);
  short loaded;
  auto image = LoadImageFile(job.in, options.kind, loaded);
  if (!image) return CurrentErrorLine("loading " + job.in);
  const std::string partial = CreateTemporary(job.out);
  if (partial.empty()) {
    KSetError(K_ERROR_FILE_OPEN);
    return CurrentErrorLine("creating a temporary file for " + job.out);
  }
  if (image->Save(partial, options.format) != K_SUCCESS) {
    const std::string line = CurrentErrorLine("saving " + job.out + " as " + image->Kind().name);
    std::remove(partial.c_str());
    return line;
  }
  if (std::rename(partial.c_str(), job.out.c_str()) != 0) {
    std::remove(partial.c_str());
    KSetError(K_ERROR_FILE_WRITE);
    return CurrentErrorLine("renaming the converted file to " + job.out);
  }
  return "";
}

int ConvertMany(const std::vector<ConvertJob>& jobs, const ConvertOptions& options, unsigned int threads) {
  Reporter reporter(jobs.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  threads = std::max(1u, std::min<unsigned int>(threads, static_cast<unsigned int>(jobs.size())));
  for (unsigned int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (size_t i = next++; i < jobs.size(); i = next++) {
        const std::string error = ConvertOne(jobs[i], options);
        if (!error.empty()) reporter.Error(error);
        reporter.Done(!error.empty());
      }
    });
  }
  const size_t slash = jobs.empty() ? std::string::npos : jobs[0].out.rfind('/');
  reporter.Follow(slash == std::string::npos ? "." : jobs[0].out.substr(0, slash + 1));
  for (std::thread& worker : workers) worker.join();
  return static_cast<int>(reporter.Failed());
}

}  // namespace kvtool
