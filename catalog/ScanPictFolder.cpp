#include "catalog/ScanPictFolder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "catalog/ElementLayout.h"
#include "util/SafePath.h"
#include "util/Unzip.h"

namespace qb {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

enum class EntryKind { kFile, kFolder, kOther };

// What the entry at `path` is; `type` is the kind readdir reported.
EntryKind KindOf(const std::string& path, unsigned char type) {
  switch (type) {
    case DT_REG:
      return EntryKind::kFile;
    case DT_DIR:
      return EntryKind::kFolder;
    case DT_LNK:
    case DT_UNKNOWN:
      break;
    default:
      return EntryKind::kOther;
  }
  // A link counts as what it points to, but a link to a folder is not entered
  // (a link cycle would never end).
  struct stat own {};
  if (lstat(path.c_str(), &own) != 0) {
    return EntryKind::kOther;
  }
  if (S_ISDIR(own.st_mode)) {
    return EntryKind::kFolder;
  }
  struct stat target {};
  if (S_ISLNK(own.st_mode) && (stat(path.c_str(), &target) != 0 || S_ISDIR(target.st_mode))) {
    return EntryKind::kOther;
  }
  return EntryKind::kFile;
}

}  // namespace

void AppendPictRecord(std::string* out, int64_t number, std::string_view url) {
  out->append("  <pictInfo>\n    <pno>");
  AppendNumber(out, number);
  out->append("</pno>\n");
  AppendElementLine(out, "thumbUrl", url);
  AppendElementLine(out, "imageUrl", url);
  out->append("  </pictInfo>\n");
}

void AppendPictRecord(std::string* out, std::string_view number,
                      std::optional<std::string_view> thumbUrl,
                      std::optional<std::string_view> imageUrl) {
  out->append("  <pictInfo>\n");
  AppendElementLine(out, "pno", number);
  if (thumbUrl) {
    AppendElementLine(out, "thumbUrl", *thumbUrl);
  }
  if (imageUrl) {
    AppendElementLine(out, "imageUrl", *imageUrl);
  }
  out->append("  </pictInfo>\n");
}

void ScanPictFolder(const std::string& folder, std::string* out) {
  const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) {
    return;
  }
  int64_t number = 0;
  std::string path;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    // An unpacked archive's stamp stands for the archive, which a listing
    // never saw: it is neither listed nor counted.
    if (name == "." || name == ".." || IsUnpackedStampName(name)) {
      continue;
    }
    const int64_t current = number++;
    path.assign(folder).append("/").append(name);
    switch (KindOf(path, entry->d_type)) {
      case EntryKind::kFolder:
        ScanPictFolder(path, out);
        break;
      case EntryKind::kFile:
        if (name != "Thumbs.db") {
          AppendPictRecord(out, current, path);
        }
        break;
      case EntryKind::kOther:
        break;
    }
  }
}

void ScanMaterialFolder(const std::string& dataFolder, std::string_view kind,
                        std::string_view folder, std::string* out) {
  std::string path;
  path.reserve(dataFolder.size() + kind.size() + folder.size() + 2);
  path.append(dataFolder).append("/").append(kind).append("/").append(folder);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!ResolveInsideFolder(dataFolder, path)) {
    return;
  }
  ScanPictFolder(path, out);
}

}  // namespace qb
