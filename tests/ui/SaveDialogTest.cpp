#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include "shell/DesktopControl.h"
#include "output/SaveSlots.h"
#include "output/CQxSaveSession.h"
#include "output/SaveDocument.h"
#include "TempDir.h"
#include "ui/UiTestSupport.h"

namespace qb {
namespace {

std::unique_ptr<CQxSaveSession> Upload(const std::string& name, const std::string& bytes) {
  auto session = std::make_unique<CQxSaveSession>("3");
  session->SetData(bytes.data(), static_cast<int64_t>(bytes.size()));
  session->SetName(name);
  return session;
}

QString FileNameField(QFileDialog* dialog) {
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  return edit == nullptr ? QString("<no field>") : edit->text();
}

TEST(SaveDialog, PresetFollowsTheSuggestedName) {
  struct Row {
    const char* name;
    std::string suggested;
    QString field;
    QString filter;
    QString suffix;
    QString title;
  };
  const Row rows[] = {
      {"pdf name", "report.pdf", "report.pdf", "PDF document (*.pdf)", "pdf",
       "Save PDF document “report.pdf”"},
      {"folders are not the name", "C:\\work\\pdf\\label", "label", "Label document (*.qx3)",
       "qx3", "Save label document “label”"},
      {"case-sensitive test", "Label.PDF", "Label.PDF", "Label document (*.qx3)", "qx3",
       "Save label document “Label.PDF”"},
      {"empty name", "", "", "Label document (*.qx3)", "qx3", "Save label document"},
      {"no way out of the chosen folder", "../../x.pdf", "x.pdf", "PDF document (*.pdf)", "pdf",
       "Save PDF document “x.pdf”"},
      {"control bytes are removed", "a\tb\x01\x7f.qx3", "ab.qx3", "Label document (*.qx3)",
       "qx3", "Save label document “ab.qx3”"},
  };
  qbtest::TempDir home;
  qbtest::ScopedEnv homeEnv("HOME", home.Path());
  qbtest::ScopedEnv documentsEnv("XDG_DOCUMENTS_DIR", std::nullopt);
  qbtest::ScopedEnv configEnv("XDG_CONFIG_HOME", home.Path() + "/.config");
  SaveSlots mgr;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // The Documents folder once it exists, the home folder before; never the
    // working directory.
    const bool withDocuments = &row != &rows[0];
    if (withDocuments) {
      QDir().mkpath(QString::fromStdString(home.Path() + "/Documents"));
    }
    const std::string start = home.Path() + (withDocuments ? "/Documents" : "");
    bool seen = false;
    qbtest::WhenModal(
        [&](QWidget* modal) {
          auto* dialog = qobject_cast<QFileDialog*>(modal);
          ASSERT_NE(dialog, nullptr);
          EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
          EXPECT_EQ(dialog->windowTitle(), row.title);
          EXPECT_EQ(dialog->nameFilters(), QStringList({row.filter, "All files (*)"}));
          EXPECT_EQ(dialog->selectedNameFilter(), row.filter);
          EXPECT_EQ(dialog->defaultSuffix(), row.suffix);
          EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
          EXPECT_EQ(QDir(dialog->directory()), QDir(QString::fromStdString(start)));
          EXPECT_EQ(FileNameField(dialog), row.field);
          dialog->reject();
        },
        &seen);
    SaveDocument(&mgr, Upload(row.suggested, "doc"), true);
    EXPECT_TRUE(seen);
  }
}

TEST(SaveDialog, WritesTheChosenFileAndSavesASecondDocumentAfterIt) {
  QTemporaryDir dir;
  QTemporaryDir other;
  CAppData app;
  DesktopControl window(&app, true);
  const std::string bytes("%PDF-1.4\0\xff", 10);
  bool seen = false;
  bool seenSecond = false;
  int dialogs = 0;
  qbtest::WhenModal(
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        ++dialogs;
        // The second upload arrives while this dialog is open: it waits.
        window.PostSave(Upload("second.qx3", "other"));
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::activeModalWidget(), modal);
        qbtest::WhenModal(
            [&](QWidget* second) {
              auto* secondDialog = qobject_cast<QFileDialog*>(second);
              ASSERT_NE(secondDialog, nullptr);
              ++dialogs;
              EXPECT_EQ(secondDialog->windowTitle(), "Save label document “second.qx3”");
              // It starts where the first document went.
              EXPECT_EQ(QDir(secondDialog->directory()), QDir(dir.path()));
              secondDialog->setDirectory(other.path());
              static_cast<QDialog*>(secondDialog)->accept();
            },
            &seenSecond);
        dialog->setDirectory(dir.path());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("chosen");
        static_cast<QDialog*>(dialog)->accept();
      },
      &seen);
  window.PostSave(Upload("first.pdf", bytes));
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(seen);
  EXPECT_TRUE(seenSecond);
  EXPECT_EQ(dialogs, 2);
  QFile file(dir.filePath("chosen.pdf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), bytes);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"chosen.pdf"}));
  QFile second(other.filePath("second.qx3"));
  ASSERT_TRUE(second.open(QIODevice::ReadOnly));
  EXPECT_EQ(second.readAll().toStdString(), "other");
  // The lock is free again: the next document opens a dialog.
  qbtest::WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }, &seen);
  SaveDocument(&app.Saves(), Upload("third.pdf", "x"), true);
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace qb
