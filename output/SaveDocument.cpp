#include "output/SaveDocument.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <mutex>

#include "output/CQxSaveMgr.h"
#include "output/CQxSaveSession.h"
#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"
#include "util/WriteBytesToFile.h"

namespace qb {
namespace {

constexpr const char* kDefaultName = "document.qx3";
constexpr int kMaxNumberedNames = 10000;

// "report.pdf", n -> "report (n).pdf"; a name without an extension (or whose
// only dot leads) gets the number at its end.
std::string NumberedName(const std::string& name, int n) {
  const size_t dot = name.rfind('.');
  const std::string number = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) {
    return name + number;
  }
  return name.substr(0, dot) + number + name.substr(dot);
}

}  // namespace

std::string SaveFileName(const std::string& suggested) {
  const std::string clean = Utf8ToWide(suggested);
  const size_t separator = clean.find_last_of("/\\");
  std::string name = separator == std::string::npos ? clean : clean.substr(separator + 1);
  if (name == "." || name == "..") {
    name.clear();
  }
  return std::string(Utf16Prefix(name, kMaxSaveNameUnits));
}

bool IsPdfName(const std::string& fileName) { return fileName.find(".pdf") != std::string::npos; }

std::string HeadlessSaveFolder() {
  std::optional<std::string> folder = ReadConfigValue("Save", "folder");
  if (folder && folder->starts_with("~/")) {
    *folder = GetHomeFolder() + folder->substr(1);
  }
  if (folder && folder->starts_with("/")) {
    return *folder;
  }
  // Any other value is reported by the configuration check at start-up.
  return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString();
}

std::string SaveIntoFolder(const std::string& folder, const std::string& fileName,
                           const char* bytes, size_t count) {
  if (folder.empty() || !QDir().mkpath(QString::fromStdString(folder))) {
    LogError("cannot create the save folder " + folder);
    return {};
  }
  const std::string name = fileName.empty() ? std::string(kDefaultName) : fileName;
  for (int n = 0; n < kMaxNumberedNames; ++n) {
    const std::string path = folder + "/" + (n == 0 ? name : NumberedName(name, n));
    switch (WriteNewFile(path, bytes, count)) {
      case NewFileResult::kWritten:
        return path;
      case NewFileResult::kExists:
        continue;
      case NewFileResult::kFailed:
        return {};
    }
  }
  LogError("no free file name for " + name + " in " + folder);
  return {};
}

bool ShowSaveDialog(std::string* path) {
  if (path == nullptr) {
    return false;
  }
  const bool pdf = IsPdfName(*path);
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({pdf ? QStringLiteral("*.pdf") : QStringLiteral("*.qx3"),
                         QStringLiteral("全て(*.*) (*.*)")});
  dialog.setDefaultSuffix(pdf ? QStringLiteral("pdf") : QStringLiteral("qx3"));
  dialog.setDirectory(QDir::currentPath());
  dialog.selectFile(QString::fromStdString(*path));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return false;
  }
  *path = dialog.selectedFiles().front().toStdString();
  return true;
}

void SaveDocument(CQxSaveMgr* mgr, std::unique_ptr<CQxSaveSession> session, bool showDialog) {
  if (mgr == nullptr || !session) {
    return;
  }
  std::unique_lock lock(*mgr, std::try_to_lock);
  if (!lock.owns_lock()) {
    LogInfo("a document is being saved: document " + session->m_strId + " is dropped");
    return;
  }
  if (session->Data() == nullptr || session->Size() == 0) {
    return;
  }
  std::string name = SaveFileName(session->GetName());
  if (!showDialog) {
    SaveIntoFolder(HeadlessSaveFolder(), name, session->Data(), session->Size());
    return;
  }
  if (ShowSaveDialog(&name)) {
    WriteBytesToFile(name, session->Data(), session->Size());
  } else {
    LogInfo("save dialog cancelled: document " + session->m_strId + " is not saved");
  }
}

}  // namespace qb
