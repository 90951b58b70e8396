#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include "app/CsvcDlg.h"
#include "output/CQxSaveMgr.h"
#include "output/CQxSaveSession.h"
#include "output/SaveDocument.h"
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
  };
  const Row rows[] = {
      {"pdf name", "report.pdf", "report.pdf", "*.pdf", "pdf"},
      {"folders are not the name", "C:\\work\\pdf\\label", "label", "*.qx3", "qx3"},
      {"case-sensitive test", "Label.PDF", "Label.PDF", "*.qx3", "qx3"},
      {"empty name", "", "", "*.qx3", "qx3"},
      {"no way out of the chosen folder", "../../x.pdf", "x.pdf", "*.pdf", "pdf"},
  };
  CQxSaveMgr mgr;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    bool seen = false;
    qbtest::WhenModal(
        [&](QWidget* modal) {
          auto* dialog = qobject_cast<QFileDialog*>(modal);
          ASSERT_NE(dialog, nullptr);
          EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
          EXPECT_EQ(dialog->nameFilters(), QStringList({row.filter, "全て(*.*) (*.*)"}));
          EXPECT_EQ(dialog->selectedNameFilter(), row.filter);
          EXPECT_EQ(dialog->defaultSuffix(), row.suffix);
          EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
          EXPECT_EQ(QDir(dialog->directory()), QDir(QDir::currentPath()));
          EXPECT_EQ(FileNameField(dialog), row.field);
          dialog->reject();
        },
        &seen);
    SaveDocument(&mgr, Upload(row.suggested, "doc"), true);
    EXPECT_TRUE(seen);
  }
}

TEST(SaveDialog, WritesTheChosenFileAndDropsASecondDocumentMeanwhile) {
  QTemporaryDir dir;
  CAppData app;
  CsvcDlg window(&app, true);
  const std::string bytes("%PDF-1.4\0\xff", 10);
  bool seen = false;
  int dialogs = 0;
  qbtest::WhenModal(
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        ++dialogs;
        // The second upload arrives while this dialog is open.
        window.PostSave(Upload("second.pdf", "other"));
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::activeModalWidget(), modal);
        dialog->setDirectory(dir.path());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("chosen");
        static_cast<QDialog*>(dialog)->accept();
      },
      &seen);
  window.PostSave(Upload("first.pdf", bytes));
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(seen);
  EXPECT_EQ(dialogs, 1);
  QFile file(dir.filePath("chosen.pdf"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), bytes);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"chosen.pdf"}));
  // The lock is free again: the next document opens a dialog.
  qbtest::WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }, &seen);
  SaveDocument(app.m_pSaveMgr.get(), Upload("third.pdf", "x"), true);
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace qb
