#include "output/SaveDocument.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <mutex>

#include "output/SaveSlots.h"
#include "output/CQxSaveSession.h"
#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/StagedFile.h"
#include "util/Text.h"
#include "util/UserFolders.h"
#include "util/WriteBytesToFile.h"

namespace qb {
namespace {

constexpr const char* kDefaultName = "document.qx3";
constexpr int kMaxNumberedNames = 10000;
constexpr size_t kMaxExtensionBytes = 16;

// The folder the user last saved into through the dialog; UI thread only.
std::string& LastSaveFolder() {
  static std::string folder;
  return folder;
}

// Where the extension of `name` starts (its last "."), or npos when it has
// none: no dot, a leading dot only, or a tail too long to be an extension.
size_t ExtensionStart(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes + 1) {
    return std::string::npos;
  }
  return dot;
}

// The longest prefix of `text` of at most `maxBytes` bytes that ends on a
// UTF-8 character boundary.
std::string Utf8Prefix(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) {
    return text;
  }
  size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return text.substr(0, end);
}

// "report.pdf", n -> "report (n).pdf", still within the file-name limit; a
// name without an extension gets the number at its end.
std::string NumberedName(const std::string& name, int n) {
  const size_t dot = ExtensionStart(name);
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  const std::string number = " (" + std::to_string(n) + ")";
  return Utf8Prefix(stem, kMaxFileNameBytes - number.size() - extension.size()) + number +
         extension;
}

bool IsFolder(const std::string& path) { return !path.empty() && QFileInfo(QString::fromStdString(path)).isDir(); }

}  // namespace

std::string FitFileName(const std::string& name, size_t maxBytes) {
  if (name.size() <= maxBytes) {
    return name;
  }
  const size_t dot = ExtensionStart(name);
  if (dot == std::string::npos || name.size() - dot >= maxBytes) {
    return Utf8Prefix(name, maxBytes);
  }
  const std::string extension = name.substr(dot);
  return Utf8Prefix(name.substr(0, dot), maxBytes - extension.size()) + extension;
}

std::string SaveFileName(const std::string& suggested) {
  const std::string clean = RepairedUtf8(suggested);
  const size_t separator = clean.find_last_of("/\\");
  std::string name;
  for (const char c : separator == std::string::npos ? clean : clean.substr(separator + 1)) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
      name += c;
    }
  }
  if (name == "." || name == "..") {
    name.clear();
  }
  return FitFileName(name, kMaxFileNameBytes);
}

bool IsPdfName(const std::string& fileName) { return fileName.find(".pdf") != std::string::npos; }

QStringList SaveFilters(bool pdf) {
  return {pdf ? QCoreApplication::translate("qb::SaveDocument", "PDF document (*.pdf)")
              : QCoreApplication::translate("qb::SaveDocument", "Label document (*.qx3)"),
          QCoreApplication::translate("qb::SaveDocument", "All files (*)")};
}

QString SaveDialogTitle(const std::string& fileName, bool pdf) {
  const QString name = QString::fromStdString(fileName);
  if (name.isEmpty()) {
    return pdf ? QCoreApplication::translate("qb::SaveDocument", "Save PDF document")
               : QCoreApplication::translate("qb::SaveDocument", "Save label document");
  }
  return (pdf ? QCoreApplication::translate("qb::SaveDocument", "Save PDF document “%1”")
              : QCoreApplication::translate("qb::SaveDocument", "Save label document “%1”"))
      .arg(name);
}

std::string SaveStartFolder() {
  if (IsFolder(LastSaveFolder())) {
    return LastSaveFolder();
  }
  const std::string documents =
      QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
  if (IsFolder(documents)) {
    return documents;
  }
  return GetHomeFolder();
}

std::vector<std::string> HeadlessSaveFolders() {
  std::vector<std::string> folders;
  std::optional<std::string> folder = ReadConfigValue("Save", "folder");
  if (folder && folder->starts_with("~/")) {
    *folder = GetHomeFolder() + folder->substr(1);
  }
  if (folder && folder->starts_with("/")) {
    folders.push_back(*folder);
  }
  // Any other value is reported by the configuration check at start-up.
  const std::string downloads =
      QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString();
  if (!downloads.empty()) {
    folders.push_back(downloads);
  }
  folders.push_back(GetHomeFolder());
  return folders;
}

std::string SaveIntoFolder(const std::string& folder, const std::string& fileName,
                           const char* bytes, size_t count) {
  if (folder.empty() || !QDir().mkpath(QString::fromStdString(folder))) {
    LogError("cannot create the save folder " + folder);
    return {};
  }
  const std::string name = fileName.empty() ? std::string(kDefaultName) : fileName;
  Result<StagedFile> staged = StagedFile::Write(folder, bytes, count);
  if (!staged) {
    LogError("cannot save " + name + ": " + staged.Error());
    return {};
  }
  for (int n = 0; n < kMaxNumberedNames; ++n) {
    const std::string path = folder + "/" + (n == 0 ? name : NumberedName(name, n));
    switch (staged->PublishNew(path)) {
      case NewFileResult::kWritten:
        LogInfo("saved " + std::to_string(count) + " bytes to " + path);
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

std::string SaveIntoFirstFolder(const std::vector<std::string>& folders,
                                const std::string& fileName, const char* bytes, size_t count) {
  for (size_t i = 0; i < folders.size(); ++i) {
    if (i > 0) {
      LogInfo("saving into " + folders[i - 1] + " failed; trying " + folders[i]);
    }
    std::string path = SaveIntoFolder(folders[i], fileName, bytes, count);
    if (!path.empty()) {
      return path;
    }
  }
  return {};
}

std::optional<std::string> ShowSaveDialog(const std::string& name) {
  const bool pdf = IsPdfName(name);
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setWindowTitle(SaveDialogTitle(name, pdf));
  // A background server's dialog must not open behind the client's window.
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  dialog.setNameFilters(SaveFilters(pdf));
  dialog.setDefaultSuffix(pdf ? QStringLiteral("pdf") : QStringLiteral("qx3"));
  dialog.setDirectory(QString::fromStdString(SaveStartFolder()));
  dialog.selectFile(QString::fromStdString(name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  LastSaveFolder() = QFileInfo(dialog.selectedFiles().front()).absolutePath().toStdString();
  return dialog.selectedFiles().front().toStdString();
}

void SaveDocument(SaveSlots* mgr, std::unique_ptr<CQxSaveSession> session, bool showDialog) {
  if (mgr == nullptr || !session) {
    return;
  }
  const std::string what = "document " + session->m_strId;
  std::unique_lock lock(*mgr, std::try_to_lock);
  if (!lock.owns_lock()) {
    LogError("a document is being saved: " + what + " is dropped");
    return;
  }
  if (session->Data() == nullptr || session->Size() == 0) {
    LogInfo(what + " is empty: nothing to save");
    return;
  }
  std::string name = SaveFileName(session->GetName());
  if (showDialog) {
    LogInfo(what + ": save dialog opened for \"" + name + "\"");
    const std::optional<std::string> path = ShowSaveDialog(name);
    if (!path) {
      LogInfo(what + ": save dialog cancelled, not saved");
      return;
    }
    if (WriteBytesToFile(*path, session->Data(), session->Size())) {
      return;
    }
    LogError(what + ": saving to " + *path + " failed; saving it as without a dialog");
    name = SaveFileName(*path);
  }
  if (SaveIntoFirstFolder(HeadlessSaveFolders(), name, session->Data(), session->Size())
          .empty()) {
    LogError(what + ": saving failed: no save folder could take it");
  }
}

}  // namespace qb
