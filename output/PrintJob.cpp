#include "output/PrintJob.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPageLayout>
#include <QPainter>
#include <QDir>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QTemporaryFile>
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <cmath>
#include <utility>
#include <vector>

#include "output/CPrintSession.h"
#include "output/CupsScheduler.h"
#include "output/PrintJobWatch.h"
#include "output/PrinterMemory.h"
#include "output/PageBands.h"
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


constexpr std::chrono::seconds kQuestionBudget{2};
// Handing a document to a local scheduler takes well under this; a scheduler
// that stops answering fails the print instead of holding the dialogs.
constexpr std::chrono::seconds kSubmitBudget{60};

std::string Tr(const char* text) {
  return QCoreApplication::translate("qb::PrintJob", text).toStdString();
}

// The options CUPS gets with the document, as Qt's own CUPS engine would
// give them: the sheet, copies, collation, sides, orientation, and the
// printer options the user set in the dialog's printer properties.
std::vector<std::pair<std::string, std::string>> CupsOptions(QPrinter& printer) {
  std::vector<std::pair<std::string, std::string>> options;
  const QPageLayout layout = printer.pageLayout();
  options.emplace_back("media", layout.pageSize().key().toStdString());
  const int copies = printer.copyCount();
  if (copies > 1) {
    options.emplace_back("copies", std::to_string(copies));
    if (printer.collateCopies()) {
      options.emplace_back("Collate", "True");
    }
  }
  switch (printer.duplex()) {
    case QPrinter::DuplexNone:
      options.emplace_back("sides", "one-sided");
      break;
    case QPrinter::DuplexAuto:
      options.emplace_back("sides", layout.orientation() == QPageLayout::Portrait
                                        ? "two-sided-long-edge"
                                        : "two-sided-short-edge");
      break;
    case QPrinter::DuplexLongSide:
      options.emplace_back("sides", "two-sided-long-edge");
      break;
    case QPrinter::DuplexShortSide:
      options.emplace_back("sides", "two-sided-short-edge");
      break;
  }
  if (layout.orientation() == QPageLayout::Landscape) {
    options.emplace_back("landscape", "");
  }
  // The properties dialog keeps its printer options as name, value pairs
  // under this engine key.
  constexpr auto kCupsOptionsKey = static_cast<QPrintEngine::PrintEnginePropertyKey>(0xfe00);
  const QStringList chosen = printer.printEngine()->property(kCupsOptionsKey).toStringList();
  for (qsizetype i = 0; i + 1 < chosen.size(); i += 2) {
    options.emplace_back(chosen[i].toStdString(), chosen[i + 1].toStdString());
  }
  return options;
}

// Sets `printer` to the queue remembered for the session's sheet when there
// is one; a remembered queue that is gone gives way to the default (logged).
void ChooseRememberedPrinter(const CPrintSession& session,
                             const CupsScheduler::Destinations& destinations, QPrinter* printer) {
  const std::vector<CupsPrinterFacts>& queues = destinations.printers;
  const std::string remembered = RecallPrinter(session.m_nWidth, session.m_nHeight);
  if (remembered.empty()) {
    return;
  }
  const bool present = std::any_of(queues.begin(), queues.end(), [&](const CupsPrinterFacts& q) {
    return q.name == remembered;
  });
  const std::string sheet = SheetKey(session.m_nWidth, session.m_nHeight);
  if (present) {
    printer->setOutputFormat(QPrinter::NativeFormat);
    printer->setPrinterName(QString::fromStdString(remembered));
    return;
  }
  const QString fallback = QString::fromStdString(destinations.defaultName);
  LogInfo("print session " + session.m_strId + ": the printer " + remembered +
          " remembered for " + sheet + " is gone; using the default " +
          (fallback.isEmpty() ? std::string("(none)") : fallback.toStdString()));
  if (!fallback.isEmpty()) {
    printer->setOutputFormat(QPrinter::NativeFormat);
    printer->setPrinterName(fallback);
  }
}

// Remembers the queue the user confirmed for the session's sheet.
void RememberChoice(const CPrintSession& session, const QPrinter& printer) {
  if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty()) {
    return;
  }
  const std::string chosen = printer.printerName().toStdString();
  if (RecallPrinter(session.m_nWidth, session.m_nHeight) == chosen) {
    return;
  }
  const std::string sheet = SheetKey(session.m_nWidth, session.m_nHeight);
  if (const Result<> written = RememberPrinter(session.m_nWidth, session.m_nHeight, chosen);
      !written) {
    LogError("cannot remember printer " + chosen + " for " + sheet + ": " + written.Error());
    return;
  }
  LogInfo("printer " + chosen + " remembered for " + sheet);
}

// Draws every page of `session` on `printer`: the pages drawn, or -1 when the
// document cannot be started.
int DrawPages(CPrintSession& session, QPrinter* printer, const std::string& what) {
  const int pageCount = session.PageCount();
  QSize target = TargetSize(session, printer);
  printer->setFullPage(true);  // device (0, 0) is the sheet's physical corner
  QPainter painter;
  if (!painter.begin(printer)) {
    return -1;
  }
  LogDebug(what + ": " + std::to_string(pageCount) + " page(s) at " +
           std::to_string(printer->resolution()) + " dpi");
  bool firstPage = true;
  int printed = 0;
  for (int key = 0; key < pageCount; ++key) {
    // The page is read from the session's page file and drawn band by band,
    // so that printing holds a band of a page, not the page.
    const Result<std::string> encoded = session.EncodedPage(static_cast<unsigned>(key));
    std::optional<PageBands> bands;
    if (encoded) {
      bands.emplace(*encoded);
    }
    if (!bands || bands->Size().isEmpty()) {
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
    if (!RenderPageBands(&*bands, &painter, target.width(), target.height(), page, 0, 0)) {
      LogError(what + ": page " + std::to_string(key) + " could not be drawn in full");
    }
    ++printed;
  }
  if (!painter.end()) {
    LogError(what + ": the document could not be finished");
    return 0;
  }
  return printed;
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
  // The name is also the file name a print-to-file choice proposes: no
  // characters that trouble file managers.
  return QStringLiteral("Quillbox print %1 - %2 x %3 mm, %4 %5")
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

void PrintSession(CPrintSession* session, QPrinter* printer, bool showDialog,
                  PrintOutcomes* outcomes, PrintJobWatch* watch) {
  if (session == nullptr || printer == nullptr) {
    return;
  }
  const std::string what = "print session " + session->m_strId;
  // Writes what became of the print, when someone keeps it.
  const auto record = [&](const std::function<void(PrintOutcome&)>& change) {
    if (outcomes != nullptr) {
      outcomes->Update(session->m_strId, change);
    }
  };
  const auto settle = [&](PrintState state, const std::string& message) {
    record([&](PrintOutcome& outcome) {
      outcome.state = state;
      outcome.message = message;
    });
  };
  const Result<int> started = session->StartPrinting();
  if (!started) {
    LogInfo(what + " was not new: its pages are dropped");
    session->Finish();
    return;
  }
  const int pageCount = *started;
  if (pageCount == 0) {
    LogInfo(what + " has no pages");
    session->Finish();
    settle(PrintState::kFailed, Tr("no page arrived: nothing was printed"));
    return;
  }
  // Without a scheduler the print dialog offers only a file, which is not
  // what the page asked for: unless a file is the selection already, the
  // print fails with the reason instead.
  const Result<CupsScheduler::Destinations> queues =
      CupsScheduler(kQuestionBudget).AllDestinations();
  if (queues) {
    ChooseRememberedPrinter(*session, *queues, printer);
  } else if (printer->outputFormat() != QPrinter::PdfFormat || !HasPrinter(*printer)) {
    LogError(what + ": printing failed: " + queues.Error());
    session->Finish();
    settle(PrintState::kFailed, queues.Error());
    return;
  }
  if (!HasPrinter(*printer)) {
    LogError("no printer: " + what + " is dropped");
    session->Finish();
    settle(PrintState::kFailed, Tr("no printer is set up"));
    return;
  }
  PresetPrinter(*session, printer);
  printer->setDocName(PrintJobName(*session, pageCount));
  record([&](PrintOutcome& outcome) {
    outcome.state = showDialog ? PrintState::kDialog : outcome.state;
    outcome.pages = pageCount;
    outcome.copies = printer->copyCount();
    outcome.printer = Destination(*printer);
  });
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
      settle(PrintState::kCancelled, Tr("cancelled in the print dialog"));
      return;
    }
    if (UserChosePaper(dialog)) {
      LogInfo(what + ": printing on the paper chosen in the dialog");
    } else {
      PresetSheet(*session, printer);
    }
    RememberChoice(*session, *printer);
  }

  const bool toQueue = printer->outputFormat() == QPrinter::NativeFormat;
  // A queue's document is drawn into a file of our own and handed to CUPS
  // here, so that the job id is the one CUPS gives this submission.
  // The temporary folder is empty when $TMPDIR names none that exists.
  const QString folder = QDir::tempPath();
  QTemporaryFile document(folder + QStringLiteral("/quillbox-print-XXXXXX.prn"));
  if (toQueue) {
    if (folder.isEmpty() || !document.open()) {
      LogError(what + ": printing failed: cannot create a file to print: " +
               (folder.isEmpty() ? std::string("the temporary folder does not exist")
                                 : document.errorString().toStdString()));
      session->Finish();
      settle(PrintState::kFailed, Tr("the document to print could not be written"));
      return;
    }
    document.close();
    printer->setOutputFileName(document.fileName());
  }
  const std::string destination = toQueue ? printer->printerName().toStdString()
                                          : Destination(*printer);
  const int printed = DrawPages(*session, printer, what);
  if (toQueue) {
    printer->setOutputFileName(QString());
  }
  session->Finish();
  if (printed <= 0) {
    const std::string reason = printed == 0 ? std::string("no page could be drawn")
                                            : destination + " cannot start the document";
    LogError(what + ": printing failed: " + reason);
    settle(PrintState::kFailed, Tr("the pages could not be drawn"));
    return;
  }
  const std::string summary = SheetText(*printer) + ", " + std::to_string(printed) +
                              " page(s), " + std::to_string(printer->copyCount()) + " copies";
  if (!toQueue) {
    LogInfo(what + ": printed on " + destination + ": " + summary);
    record([&](PrintOutcome& outcome) {
      outcome.state = PrintState::kCompleted;
      outcome.printer = destination;
      outcome.pages = printed;
      outcome.message.clear();
    });
    return;
  }
  const std::string queue = destination.substr(0, destination.find('/'));
  const Result<int> job = CupsScheduler(kSubmitBudget)
                              .Submit(queue, document.fileName().toStdString(),
                                      printer->docName().toStdString(), CupsOptions(*printer));
  if (!job) {
    // A queue that refuses jobs may say why ("cupsreject -r").
    std::string reason = job.Error();
    if (const Result<CupsPrinterFacts> facts = CupsScheduler(kQuestionBudget).Printer(queue);
        facts && !facts->accepting && !facts->message.empty()) {
      reason += " (" + facts->message + ")";
    }
    LogError(what + ": printing failed: " + queue + " did not take the job: " + reason);
    settle(PrintState::kFailed, reason);
    return;
  }
  LogInfo(what + ": sent to " + queue + ": " + summary + ", CUPS job " + std::to_string(*job));
  record([&](PrintOutcome& outcome) {
    outcome.state = PrintState::kQueued;
    outcome.printer = queue;
    outcome.job = *job;
    outcome.pages = printed;
    outcome.copies = printer->copyCount();
    outcome.message.clear();
  });
  if (watch != nullptr) {
    watch->Watch(session->m_strId);
  }
}

}  // namespace qb
