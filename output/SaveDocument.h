// Saving an uploaded document, on the UI thread. With dialogs shown, the save
// dialog offers the PDF filter (suggested names containing ".pdf") or the
// label-document filter, each with "全て(*.*)"; it sets the default suffix,
// confirms overwriting, presets the suggested name and starts in the current
// directory; the bytes go to the chosen file unchanged. Without dialogs the
// document goes to the headless save folder under the suggested name, never
// replacing a file ("name (1).pdf", "name (2).pdf" ...).
//
// The suggested name is reduced to its last path component (at "/" or "\")
// and cut to 259 UTF-16 units, so that it never picks a folder.
//
// Thread contract: UI thread only.
#pragma once

#include <memory>
#include <string>

namespace qb {

class CQxSaveMgr;
class CQxSaveSession;

inline constexpr size_t kMaxSaveNameUnits = 259;

// The file-name part of a suggested name, as described above (may be empty).
std::string SaveFileName(const std::string& suggested);

// True when the dialog for `fileName` uses the PDF filter: the name contains
// ".pdf" (case-sensitive, anywhere).
bool IsPdfName(const std::string& fileName);

// The folder of headless saves: [Save] folder= of the configuration file when
// it names an absolute path (a leading "~/" is the home folder), else the
// user's download folder.
std::string HeadlessSaveFolder();

// Writes `bytes` as a new file in `folder` named after `fileName` (empty:
// "document.qx3"), numbering the name while it is taken. The path written, or
// empty on failure. The folder is created when missing.
std::string SaveIntoFolder(const std::string& folder, const std::string& fileName,
                           const char* bytes, size_t count);

// Shows the save dialog preset with `*path` (a file name); true when the user
// confirmed, and `*path` then holds the chosen path.
bool ShowSaveDialog(std::string* path);

// Saves `session` (deleted in every case) under the save lock of `mgr`; a
// missing manager or a held lock drops the document.
void SaveDocument(CQxSaveMgr* mgr, std::unique_ptr<CQxSaveSession> session, bool showDialog);

}  // namespace qb
