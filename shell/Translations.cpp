#include "shell/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "util/Log.h"

#ifndef QUILLBOX_TRANSLATIONS_DIR
#define QUILLBOX_TRANSLATIONS_DIR "/usr/share/quillbox-server/translations"
#endif

namespace qb {
namespace {

// Loads catalogue `name` for `locale` from the first of `folders` that has
// it and installs it on `app`; the file loaded, or empty.
QString Install(QCoreApplication* app, const QLocale& locale, const QString& name,
                const QStringList& folders) {
  for (const QString& folder : folders) {
    auto* translator = new QTranslator(app);
    if (translator->load(locale, name, QStringLiteral("_"), folder) &&
        QCoreApplication::installTranslator(translator)) {
      return translator->filePath();
    }
    delete translator;
  }
  return {};
}

}  // namespace

void InstallTranslations(QCoreApplication* app) {
  const QLocale locale;
  const QString qt = Install(app, locale, QStringLiteral("qtbase"),
                             {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
  const QString own =
      Install(app, locale, QStringLiteral("quillbox"),
              {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
               QStringLiteral(QUILLBOX_TRANSLATIONS_DIR)});
  const std::string language = locale.uiLanguages().join(QStringLiteral(", ")).toStdString();
  if (qt.isEmpty() && own.isEmpty()) {
    LogDebug("no translations for " + language + ": the dialogs are in English");
    return;
  }
  LogInfo("dialog language " + language + ": Qt's texts from " +
          (qt.isEmpty() ? std::string("(none)") : qt.toStdString()) + ", the server's from " +
          (own.isEmpty() ? std::string("(none)") : own.toStdString()));
}

}  // namespace qb
