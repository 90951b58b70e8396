// Saving an uploaded document, on the UI thread. With dialogs shown, the save
// dialog offers "PDF document (*.pdf)" (suggested names containing ".pdf") or
// "Label document (*.qx3)", each followed by "All files (*)", in the user's
// language; its title names the document; it sets the default suffix,
// confirms overwriting, presets the suggested name and starts in the folder
// the user saved into last (this run), else the XDG Documents folder, else
// the home folder. The bytes go to the chosen file unchanged; when that file
// cannot be written the document is saved as a headless save would be.
//
// Without dialogs the document goes to the first usable headless save folder
// ([Save] folder of the configuration, the XDG download folder, the home
// folder) under the suggested name, never replacing a file ("name (1).pdf",
// "name (2).pdf" ...).
//
// The suggested name is reduced to its last path component (at "/" or "\"),
// loses its control bytes, and is shortened to what a file name may hold
// (255 bytes), at a character boundary, keeping its extension.
//
// Every outcome is logged: dialog opened, cancelled, saved (path), failed.
//
// Thread contract: UI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb {

class SaveSlots;
class CQxSaveSession;

// The longest file name, in bytes, the save writes.
inline constexpr size_t kMaxFileNameBytes = 255;

// The file-name part of a suggested name, as described above (may be empty).
std::string SaveFileName(const std::string& suggested);

// `name` shortened to at most `maxBytes` bytes without splitting a UTF-8
// character; an extension (the last "." and up to 16 bytes after it) is kept.
std::string FitFileName(const std::string& name, size_t maxBytes);

// True when the dialog for `fileName` uses the PDF filter: the name contains
// ".pdf" (case-sensitive, anywhere).
bool IsPdfName(const std::string& fileName);

// The save dialog's name filters and title for `fileName`, translated.
QStringList SaveFilters(bool pdf);
QString SaveDialogTitle(const std::string& fileName, bool pdf);

// The folder the save dialog starts in, as described above.
std::string SaveStartFolder();

// The folders of headless saves, in the order they are tried: [Save] folder=
// of the configuration file when it names an absolute path (a leading "~/" is
// the home folder), the user's download folder, the home folder.
std::vector<std::string> HeadlessSaveFolders();

// Writes `bytes` as a new file in `folder` named after `fileName` (empty:
// "document.qx3"), numbering the name while it is taken. The path written, or
// empty on failure. The folder is created when missing.
std::string SaveIntoFolder(const std::string& folder, const std::string& fileName,
                           const char* bytes, size_t count);

// SaveIntoFolder on each of `folders` in turn until one takes the document;
// each fallback is logged. The path written, or empty.
std::string SaveIntoFirstFolder(const std::vector<std::string>& folders,
                                const std::string& fileName, const char* bytes, size_t count);

// Shows the save dialog preset with the file name `name`; the chosen path
// when the user confirmed, nullopt when the dialog was cancelled.
std::optional<std::string> ShowSaveDialog(const std::string& name);

// Saves `session` (deleted in every case) under the save lock of `mgr`; a
// missing manager or a held lock drops the document (logged). Callers that
// may get a second document while a dialog is open queue it (DialogQueue).
void SaveDocument(SaveSlots* mgr, std::unique_ptr<CQxSaveSession> session, bool showDialog);

}  // namespace qb
