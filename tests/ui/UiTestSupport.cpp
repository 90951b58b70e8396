#include "ui/UiTestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace qbtest {

std::string DataText(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return "data:image/png;base64," + bytes.toBase64().toStdString();
}

QImage RasterisePdf(const std::string& path, int page, int dpi, const QRect& crop) {
  QTemporaryDir dir;
  QStringList args{"-r", QString::number(dpi), "-f", QString::number(page), "-l",
                   QString::number(page), "-singlefile", "-png"};
  if (crop.isValid()) {
    args << "-x" << QString::number(crop.x()) << "-y" << QString::number(crop.y()) << "-W"
         << QString::number(crop.width()) << "-H" << QString::number(crop.height());
  }
  args << QString::fromStdString(path) << dir.filePath("page");
  QProcess process;
  process.start("pdftoppm", args);
  if (!process.waitForFinished(120000) || process.exitCode() != 0) {
    return {};
  }
  return QImage(dir.filePath("page.png")).convertToFormat(QImage::Format_RGB32);
}

namespace {

// The value of `field` in pdfinfo's report on the PDF at `path`, or empty.
QString PdfInfo(const std::string& path, const QByteArray& field) {
  QProcess process;
  process.start("pdfinfo", {QString::fromStdString(path)});
  if (!process.waitForFinished(60000)) {
    return {};
  }
  for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
    if (line.startsWith(field + ":")) {
      return QString::fromUtf8(line.mid(field.size() + 1).trimmed());
    }
  }
  return {};
}

}  // namespace

int PdfPageCount(const std::string& path) {
  const QString pages = PdfInfo(path, "Pages");
  return pages.isEmpty() ? -1 : pages.toInt();
}

QSize PdfPageSize(const std::string& path) {
  // "283.465 x 141.732 pts" (possibly followed by a paper name)
  const QStringList parts = PdfInfo(path, "Page size").split(' ', Qt::SkipEmptyParts);
  if (parts.size() < 3 || parts[1] != "x") {
    return {};
  }
  return QSize(qRound(parts[0].toDouble()), qRound(parts[2].toDouble()));
}

void WhenModal(std::function<void(QWidget*)> act, bool* seen) {
  *seen = false;
  auto* timer = new QTimer(qApp);  // never outlives the application
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  timer->setInterval(20);
  auto acted = std::make_shared<bool>(false);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, seen, acted] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && !*acted) {
      *acted = true;
      *seen = true;  // the caller still waits inside the dialog
      act(modal);
      clock->restart();
      return;
    }
    if (clock->elapsed() > 10000 || (*acted && modal == nullptr)) {
      while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->reject();
        QApplication::processEvents();
      }
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
}

}  // namespace qbtest
