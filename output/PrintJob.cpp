#include "output/PrintJob.h"

#include <QApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <algorithm>

#include "output/CPrintSession.h"
#include "output/PaperSize.h"
#include "output/RenderPage.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr const char* kDocumentName = "quillbox";

// The rendered sheet's size in device pixels: from the printer's resolution,
// else from the physical page height and the paper length.
QSize TargetSize(const CPrintSession& session, QPrinter* printer) {
  if (printer->resolution() > 0) {
    return MmToDevice(session.m_nWidth, session.m_nHeight, printer->resolution());
  }
  const int physicalHeight = printer->paperRect(QPrinter::DevicePixel).toRect().height();
  const double inches = printer->pageLayout().fullRect(QPageLayout::Inch).height();
  if (physicalHeight > 0 && inches > 0) {
    return MmToDevice(session.m_nWidth, session.m_nHeight,
                      static_cast<int>(physicalHeight / inches));
  }
  return QSize(0, 0);
}

}  // namespace

bool HasPrinter(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    return !printer.outputFileName().isEmpty();
  }
  return !printer.printerName().isEmpty();
}

void PresetPrinter(const CPrintSession& session, QPrinter* printer) {
  const QPageSize size = PageSizeFor(session.m_nWidth, session.m_nHeight);
  if (size.isValid()) {
    printer->setPageSize(size);
  }
  printer->setPageOrientation(
      IsLandscape(session.m_nWidth, session.m_nHeight, session.m_nOrientation)
          ? QPageLayout::Landscape
          : QPageLayout::Portrait);
  // Qt refuses a count below 1; such a session prints once.
  printer->setCopyCount(std::max(1, session.m_nCopies));
}

void PrintSession(CPrintSession* session, QPrinter* printer, bool showDialog) {
  if (session == nullptr || printer == nullptr) {
    return;
  }
  const int pageCount = session->StartPrinting();
  if (pageCount <= 0) {
    LogInfo("print session " + session->m_strId +
            (pageCount < 0 ? " was not new: its pages are dropped" : " has no pages"));
    session->Finish();
    return;
  }
  if (!HasPrinter(*printer)) {
    LogError("no printer: print session " + session->m_strId + " is dropped");
    session->Finish();
    return;
  }
  PresetPrinter(*session, printer);
  if (showDialog) {
    QPrintDialog dialog(printer, QApplication::activeWindow());
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    if (dialog.exec() != QDialog::Accepted) {
      LogInfo("print session " + session->m_strId + ": print dialog cancelled");
      return;
    }
  }

  QSize target = TargetSize(*session, printer);
  printer->setDocName(QString::fromLatin1(kDocumentName));
  printer->setFullPage(true);  // device (0, 0) is the sheet's physical corner
  QPainter painter;
  if (!painter.begin(printer)) {
    LogError("print session " + session->m_strId + ": the printer cannot start the document");
    session->Finish();
    return;
  }
  LogInfo("printing session " + session->m_strId + ": " + std::to_string(pageCount) +
          " page(s) to " + printer->printerName().toStdString() +
          printer->outputFileName().toStdString() + " at " +
          std::to_string(printer->resolution()) + " dpi");
  bool firstPage = true;
  for (int key = 0; key < pageCount; ++key) {
    QImage image = session->PageImage(static_cast<unsigned>(key));
    if (image.isNull()) {
      LogError("print session " + session->m_strId + ": page " + std::to_string(key) +
               " is missing");
      continue;
    }
    if (!firstPage) {
      printer->newPage();
    }
    firstPage = false;
    const QRect page(QPoint(0, 0), printer->paperRect(QPrinter::DevicePixel).toRect().size());
    // The rendered sheet lies as the physical sheet does, so that a landscape
    // session fills a landscape sheet.
    if ((page.width() > page.height()) != (target.width() > target.height()) &&
        target.width() != target.height()) {
      target.transpose();
    }
    PremultiplyAlpha(&image);
    RenderPage(image, &painter, target.width(), target.height(), page, 0, 0);
  }
  painter.end();
  session->Finish();
}

}  // namespace qb
