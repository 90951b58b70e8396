#include <gtest/gtest.h>

#include <QPrintDialog>
#include <QPrinter>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "output/CPrintSession.h"
#include "output/PrintJob.h"
#include "output/PrintLimits.h"
#include "ui/UiTestSupport.h"

namespace qb {
namespace {

QImage Page() {
  QImage image(20, 30, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 255));
  return image;
}

std::unique_ptr<CPrintSession> SessionWithPages(int width, int height, int orientation,
                                                int copies, int pages) {
  auto session = std::make_unique<CPrintSession>("5", width, height, orientation, copies);
  for (int i = 0; i < pages; ++i) {
    EXPECT_TRUE(session->AddPage(std::move(*CPrintPage::FromDataImage(qbtest::DataText(Page())))));
  }
  return session;
}

class PrintJob : public testing::Test {
 protected:
  void SetUp() override {
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setOutputFileName(QString::fromStdString(m_path));
    m_printer.setResolution(150);
  }
  QTemporaryDir m_dir;
  const std::string m_path = m_dir.filePath("job.pdf").toStdString();
  QPrinter m_printer{QPrinter::HighResolution};
};

TEST_F(PrintJob, SessionsThatCannotPrintEndDoneWithoutOutput) {
  QPrinter noPrinter(QPrinter::HighResolution);
  noPrinter.setOutputFormat(QPrinter::PdfFormat);  // a PDF printer without a file
  noPrinter.setOutputFileName(QString());
  struct Row {
    const char* name;
    std::unique_ptr<CPrintSession> session;
    QPrinter* printer;
    bool startFirst;  // the session is no longer new
  };
  Row rows[] = {
      {"no pages", SessionWithPages(210, 297, 0, 1, 0), &m_printer, false},
      {"not new", SessionWithPages(210, 297, 0, 1, 2), &m_printer, true},
      {"no printer", SessionWithPages(210, 297, 0, 1, 2), &noPrinter, false},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.startFirst) {
      ASSERT_TRUE(row.session->StartPrinting());
    }
    PrintSession(row.session.get(), row.printer, true);  // no dialog may open
    EXPECT_EQ(row.session->GetState(), CPrintSession::kDone);
    EXPECT_EQ(row.session->PageCount(), 0);
    EXPECT_EQ(row.session->PageBytes(), 0u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_path)));
  }
  EXPECT_EQ(StoredPageBytes(), 0u);  // every page left the all-sessions budget
  PrintSession(nullptr, &m_printer, true);
}

TEST_F(PrintJob, DialogShowsThePresetAndPrintsOnTheSessionsSheet) {
  struct Row {
    const char* name;
    int width, height, orientation, copies;
    QPageSize::PageSizeId size;
    QSizeF millimetres;
    QPageLayout::Orientation layout;
    const char* title;
    const char* job;
    QSize points;  // the PDF's page, as it lies
  };
  const Row rows[] = {
      {"A4 landscape, 2 copies", 210, 297, 1, 2, QPageSize::A4, {210, 297},
       QPageLayout::Landscape, "Print 297 × 210 mm – 2 pages",
       "Quillbox print 5 - 297 x 210 mm, 2 pages", {842, 595}},
      {"custom 200 x 300", 200, 300, 0, 1, QPageSize::Custom, {200, 300}, QPageLayout::Portrait,
       "Print 200 × 300 mm – 2 pages", "Quillbox print 5 - 200 x 300 mm, 2 pages", {567, 850}},
      {"label 100 x 50", 100, 50, 0, 1, QPageSize::Custom, {50, 100}, QPageLayout::Landscape,
       "Print 100 × 50 mm – 2 pages", "Quillbox print 5 - 100 x 50 mm, 2 pages", {283, 142}},
      {"JIS B5", 182, 257, 0, 1, QPageSize::JisB5, {182, 257}, QPageLayout::Portrait,
       "Print 182 × 257 mm – 2 pages", "Quillbox print 5 - 182 x 257 mm, 2 pages", {516, 729}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QFile::remove(QString::fromStdString(m_path));
    auto session = SessionWithPages(row.width, row.height, row.orientation, row.copies, 2);
    bool seen = false;
    qbtest::WhenModal(
        [&](QWidget* modal) {
          auto* dialog = qobject_cast<QPrintDialog*>(modal);
          ASSERT_NE(dialog, nullptr);
          EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(row.title));
          const QPageLayout layout = dialog->printer()->pageLayout();
          EXPECT_EQ(layout.pageSize().id(), row.size);
          EXPECT_EQ(layout.pageSize().size(QPageSize::Millimeter), row.millimetres);
          EXPECT_EQ(layout.orientation(), row.layout);
          auto* copies = dialog->findChild<QSpinBox*>("copies");
          ASSERT_NE(copies, nullptr);
          EXPECT_EQ(copies->value(), row.copies);
          dialog->accept();
        },
        &seen);
    PrintSession(session.get(), &m_printer, true);
    EXPECT_TRUE(seen);
    EXPECT_EQ(session->GetState(), CPrintSession::kDone);
    EXPECT_EQ(session->PageCount(), 0);
    EXPECT_EQ(m_printer.copyCount(), row.copies);
    EXPECT_EQ(m_printer.docName(), QString(row.job));
    EXPECT_GE(qbtest::PdfPageCount(m_path), 2);
    EXPECT_EQ(qbtest::PdfPageSize(m_path), row.points);
  }
}

TEST_F(PrintJob, PrinterPropertiesShowTheSessionsSheetAndTheirChoiceHolds) {
  struct Row {
    const char* name;
    int width, height;
    QString shown;   // paper the properties open on
    QString choose;  // paper the user picks there; empty: none
    QSize points;    // the PDF's page
  };
  const Row rows[] = {
      {"label accepted unchanged", 100, 50, "Custom", "", {283, 142}},
      {"label, A5 chosen", 100, 50, "Custom", "A5", {595, 420}},  // in the preset orientation
      {"A5 accepted unchanged", 148, 210, "A5", "", {420, 595}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QFile::remove(QString::fromStdString(m_path));
    auto session = SessionWithPages(row.width, row.height, 0, 1, 1);
    bool seen = false;
    bool seenProperties = false;
    qbtest::WhenModal(
        [&](QWidget* modal) {
          auto* dialog = qobject_cast<QPrintDialog*>(modal);
          ASSERT_NE(dialog, nullptr);
          auto* properties = dialog->findChild<QPushButton*>("properties");
          ASSERT_NE(properties, nullptr);
          qbtest::WhenModal(
              [&](QWidget* propertiesDialog) {
                auto* sizes = propertiesDialog->findChild<QComboBox*>("pageSizeCombo");
                ASSERT_NE(sizes, nullptr);
                EXPECT_EQ(sizes->currentText(), row.shown);
                if (!row.choose.isEmpty()) {
                  sizes->setCurrentIndex(sizes->findText(row.choose));
                  EXPECT_EQ(sizes->currentText(), row.choose);
                }
                qobject_cast<QDialog*>(propertiesDialog)->accept();
              },
              &seenProperties);
          properties->click();
          dialog->accept();
        },
        &seen);
    PrintSession(session.get(), &m_printer, true);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(seenProperties);
    EXPECT_EQ(qbtest::PdfPageSize(m_path), row.points);
  }
}

TEST_F(PrintJob, CancelledDialogReleasesThePagesAtOnce) {
  auto session = SessionWithPages(210, 297, 0, 1, 3);
  ASSERT_GT(StoredPageBytes(), 0u);
  bool seen = false;
  qbtest::WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }, &seen);
  PrintSession(session.get(), &m_printer, true);
  EXPECT_TRUE(seen);
  EXPECT_EQ(session->GetState(), CPrintSession::kDone);
  EXPECT_EQ(session->PageCount(), 0);
  EXPECT_EQ(StoredPageBytes(), 0u);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(m_path)));
  // A later job on the session prints nothing and opens no dialog.
  PrintSession(session.get(), &m_printer, true);
  EXPECT_EQ(session->GetState(), CPrintSession::kDone);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(m_path)));
}

}  // namespace
}  // namespace qb
