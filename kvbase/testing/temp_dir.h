#ifndef KVBASE_TESTING_TEMP_DIR_H
#define KVBASE_TESTING_TEMP_DIR_H

// Test helper: a fresh directory under the system's temporary directory, removed with its files when the
// object goes away.

#include <string>
#include <vector>

class KTempDir {
 public:
  KTempDir();
  ~KTempDir();
  KTempDir(const KTempDir&) = delete;
  KTempDir& operator=(const KTempDir&) = delete;

  // `name` inside the directory.
  std::string Path(const std::string& name) const;

 private:
  std::string path_;
};

// The whole content of a file (empty when it cannot be read).
std::vector<unsigned char> KReadFileBytes(const std::string& path);
// Replaces the file's content with `bytes`; true on success.
bool KWriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool KFileExists(const std::string& path);

#endif  // KVBASE_TESTING_TEMP_DIR_H
