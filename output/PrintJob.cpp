#include "output/PrintJob.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <algorithm>
#include <cmath>

#include "output/CPrintSession.h"
#include "output/CupsJobs.h"
#include "output/PaperSize.h"
#include "output/PrintPropertiesPreset.h"
#include "output/RenderPage.h"
#include "util/Log.h"

namespace qb {
namespace {

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

// Width and height of the session's sheet as it lies.
QSize OrientedSheet(const CPrintSession& session) {
  const int shorter = std::min(session.m_nWidth, session.m_nHeight);
  const int longer = std::max(session.m_nWidth, session.m_nHeight);
  return IsLandscape(session.m_nWidth, session.m_nHeight, session.m_nOrientation)
             ? QSize(longer, shorter)
             : QSize(shorter, longer);
}

// True when the user accepted the print dialog's printer properties, whose
// paper is then the user's choice. The properties dialog is the print
// dialog's child; it keeps its result until the printer changes (which makes
// a new one).
bool UserChosePaper(const QPrintDialog& dialog) {
  const auto children = dialog.findChildren<QDialog*>();
  return std::any_of(children.begin(), children.end(), [](const QDialog* child) {
    return qstrcmp(child->metaObject()->className(), "QPrintPropertiesDialog") == 0 &&
           child->result() == QDialog::Accepted;
  });
}

std::string Destination(const QPrinter& printer) {
  return printer.outputFormat() == QPrinter::PdfFormat
             ? "file " + printer.outputFileName().toStdString()
             : printer.printerName().toStdString();
}

std::string Millimetres(double value) {
  const double rounded = std::round(value * 10) / 10;
  std::string text = std::to_string(rounded);
  text.erase(text.find_last_not_of('0') + 1);
  if (!text.empty() && text.back() == '.') {
    text.pop_back();
  }
  return text;
}

}  // namespace

bool HasPrinter(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    return !printer.outputFileName().isEmpty();
  }
  return !printer.printerName().isEmpty();
}

void PresetSheet(const CPrintSession& session, QPrinter* printer) {
  const QPageSize size = PageSizeFor(session.m_nWidth, session.m_nHeight);
  if (size.isValid()) {
    printer->setPageSize(size);
  }
  printer->setPageOrientation(
      IsLandscape(session.m_nWidth, session.m_nHeight, session.m_nOrientation)
          ? QPageLayout::Landscape
          : QPageLayout::Portrait);
}

void PresetPrinter(const CPrintSession& session, QPrinter* printer) {
  PresetSheet(session, printer);
  // Qt refuses a count below 1; such a session prints once.
  printer->setCopyCount(std::max(1, session.m_nCopies));
}

QString PrintDialogTitle(const CPrintSession& session, int pageCount) {
  const QSize sheet = OrientedSheet(session);
  // Each arg() fills the lowest placeholder left, so that a translation may
  // order them freely.
  if (pageCount == 1) {
    return QCoreApplication::translate("qb::PrintJob", "Print %1 × %2 mm – 1 page")
        .arg(sheet.width())
        .arg(sheet.height());
  }
  return QCoreApplication::translate("qb::PrintJob", "Print %1 × %2 mm – %3 pages")
      .arg(sheet.width())
      .arg(sheet.height())
      .arg(pageCount);
}

QString PrintJobName(const CPrintSession& session, int pageCount) {
  const QSize sheet = OrientedSheet(session);
  return QStringLiteral("Quillbox print %1: %2 x %3 mm, %4 %5")
      .arg(QString::fromStdString(session.m_strId))
      .arg(sheet.width())
      .arg(sheet.height())
      .arg(pageCount)
      .arg(pageCount == 1 ? QStringLiteral("page") : QStringLiteral("pages"));
}

std::string SheetText(const QPrinter& printer) {
  const QPageLayout layout = printer.pageLayout();
  const QRectF full = layout.fullRect(QPageLayout::Millimeter);
  const std::string name = layout.pageSize().id() == QPageSize::Custom
                               ? std::string("custom")
                               : layout.pageSize().name().toStdString();
  return name + " " + Millimetres(full.width()) + " x " +
         Millimetres(full.height()) + " mm " +
         (layout.orientation() == QPageLayout::Landscape ? "landscape" : "portrait");
}

void PrintSession(CPrintSession* session, QPrinter* printer, bool showDialog) {
  if (session == nullptr || printer == nullptr) {
    return;
  }
  const std::string what = "print session " + session->m_strId;
  const int pageCount = session->StartPrinting();
  if (pageCount <= 0) {
    LogInfo(what + (pageCount < 0 ? " was not new: its pages are dropped" : " has no pages"));
    session->Finish();
    return;
  }
  if (!HasPrinter(*printer)) {
    LogError("no printer: " + what + " is dropped");
    session->Finish();
    return;
  }
  PresetPrinter(*session, printer);
  printer->setDocName(PrintJobName(*session, pageCount));
  if (showDialog) {
    QPrintDialog dialog(printer, QApplication::activeWindow());
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    dialog.setWindowTitle(PrintDialogTitle(*session, pageCount));
    // A background server's dialog must not open behind the client's window.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    const PrintPropertiesPreset preset(&dialog, printer->pageLayout().pageSize(),
                                       printer->pageLayout().orientation());
    LogInfo(what + ": print dialog opened (" + SheetText(*printer) + ", " +
            std::to_string(pageCount) + " page(s), " + std::to_string(printer->copyCount()) +
            " copies, printer " + Destination(*printer) + ")");
    if (dialog.exec() != QDialog::Accepted) {
      // Nothing will print these pages: they leave the budget now.
      session->Finish();
      LogInfo(what + ": print dialog cancelled, nothing printed");
      return;
    }
    if (UserChosePaper(dialog)) {
      LogInfo(what + ": printing on the paper chosen in the dialog");
    } else {
      PresetSheet(*session, printer);
    }
  }

  QSize target = TargetSize(*session, printer);
  printer->setFullPage(true);  // device (0, 0) is the sheet's physical corner
  QPainter painter;
  if (!painter.begin(printer)) {
    LogError(what + ": printing failed: " + Destination(*printer) +
             " cannot start the document");
    session->Finish();
    return;
  }
  LogDebug(what + ": " + std::to_string(pageCount) + " page(s) at " +
           std::to_string(printer->resolution()) + " dpi");
  bool firstPage = true;
  int printed = 0;
  for (int key = 0; key < pageCount; ++key) {
    QImage image = session->PageImage(static_cast<unsigned>(key));
    if (image.isNull()) {
      LogError(what + ": page " + std::to_string(key) + " is missing");
      continue;
    }
    if (!firstPage && !printer->newPage()) {
      LogError(what + ": the printer refused page " + std::to_string(key));
      break;
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
    ++printed;
  }
  const bool ended = painter.end();
  session->Finish();
  if (!ended || printed == 0) {
    LogError(what + ": printing failed: " +
             (printed == 0 ? std::string("no page could be drawn")
                           : "the document could not be handed to " + Destination(*printer)));
    return;
  }
  std::string job;
  if (printer->outputFormat() == QPrinter::NativeFormat) {
    const int id = FindCupsJob(printer->printerName().toStdString(),
                               printer->docName().toStdString());
    job = id > 0 ? ", CUPS job " + std::to_string(id) : ", CUPS job id unknown";
  }
  LogInfo(what + ": printed on " + Destination(*printer) + ": " + SheetText(*printer) + ", " +
          std::to_string(printed) + " page(s), " + std::to_string(printer->copyCount()) +
          " copies" + job);
}

}  // namespace qb
