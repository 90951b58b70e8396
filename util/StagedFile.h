// A file written whole under a hidden name in its destination folder, then
// given its real name in one step, so that nobody (a file manager, a sync
// tool, a reader racing the writer) sees it half written, and a failure or a
// crash while writing never leaves a truncated file under the real name. A
// staged file that was never published is removed when the instance goes.
//
// Thread contract: an instance belongs to one thread at a time; instances in
// the same folder may be used from different threads and processes.
#pragma once

#include <cstddef>
#include <string>

#include "util/Result.h"

namespace qb {

enum class NewFileResult { kWritten, kExists, kFailed };

class StagedFile {
 public:
  // Writes `count` bytes into a new hidden file in `folder` and syncs it to
  // disk. The folder must exist.
  static Result<StagedFile> Write(const std::string& folder, const char* bytes, size_t count);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();

  // Gives the file the name `path`, which must lie in the staging folder,
  // unless a file of that name exists (kExists: nothing touched, the staged
  // file stays for another name). kFailed is logged.
  NewFileResult PublishNew(const std::string& path);

  // Gives the file the name `path` in the staging folder, replacing a plain
  // file there and taking over its permission bits.
  Result<> PublishReplacing(const std::string& path);

 private:
  explicit StagedFile(std::string path) : m_path(std::move(path)) {}

  std::string m_path;  // the hidden name; empty once published or moved from
};

}  // namespace qb
