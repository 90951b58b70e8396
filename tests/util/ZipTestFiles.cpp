#include "util/ZipTestFiles.h"

#include <minizip/zip.h>

#include <stdexcept>

namespace qbtest {

void WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) {
    throw std::runtime_error("cannot create " + path);
  }
  for (const auto& [name, content] : entries) {
    zip_fileinfo info{};
    zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                        Z_DEFAULT_COMPRESSION);
    zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
}

}  // namespace qbtest
