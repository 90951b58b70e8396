// The user's language for the dialogs: Qt's own translations (the print and
// file dialogs' texts) and the server's (titles, filter names, prompts) for
// the desktop's locale, as LANGUAGE, LC_ALL, LC_MESSAGES and LANG give it.
// The server's translations are looked for next to the executable (in its
// "translations" folder, as the build leaves them) and then in the folder the
// package installs them to; the source texts are English.
//
// Thread contract: UI thread, once, after the application object exists and
// before any dialog opens.
#pragma once

#include <string>

class QCoreApplication;

namespace qb {

// Installs the translations found for the system locale on `app` (the
// translators live as long as it does); logs which ones were loaded.
void InstallTranslations(QCoreApplication* app);

}  // namespace qb
