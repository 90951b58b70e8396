#include "update/UnpackedArchive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/StagedFile.h"
#include "util/Text.h"
#include "util/Unzip.h"

namespace qb {
bool IsArchivePath(std::string_view pathOrUrl) {
  const std::string path = AsciiLower(pathOrUrl.substr(0, pathOrUrl.find('?')));
  return path.ends_with(".zip");
}

bool WasUnpacked(const std::string& archive) {
  return ::access(UnpackedStampPath(archive).c_str(), F_OK) == 0;
}

void ForgetUnpacked(const std::string& archive) {
  ::unlink(UnpackedStampPath(archive).c_str());
}

Result<> UnpackArchive(const std::string& archive) {
  struct stat file {};
  const long long size = ::stat(archive.c_str(), &file) == 0 ? file.st_size : -1;
  if (Result<> unpacked = Unzip(archive); !unpacked) {
    ForgetUnpacked(archive);
    std::remove(archive.c_str());
    return unpacked;
  }
  const std::string stamp = "unpacked from " + std::to_string(size) + " bytes\n";
  Result<StagedFile> staged = StagedFile::Write(DirectoryPart(archive), stamp.data(), stamp.size());
  Result<> saved = staged ? staged->PublishReplacing(UnpackedStampPath(archive))
                          : Result<>(Failure{staged.Error()});
  if (!saved) {
    // Unpacked all the same; without its stamp the next run fetches it again.
    LogError("cannot mark " + archive + " as unpacked: " + saved.Error());
  }
  if (std::remove(archive.c_str()) != 0) {
    LogError("cannot delete the unpacked archive " + archive);
  }
  return {};
}

}  // namespace qb
