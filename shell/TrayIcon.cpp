#include "shell/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "output/PrinterDirectory.h"
#include "update/LastUpdateRun.h"

namespace qb {
namespace {

QString Tr(const char* text) { return QCoreApplication::translate("TrayIcon", text); }

}  // namespace

TrayIcon::TrayIcon(Actions actions, const PrinterDirectory* printers, QObject* parent)
    : QObject(parent), m_actions(std::move(actions)), m_pPrinters(printers) {
  m_pMenu = std::make_unique<QMenu>();
  const auto add = [this](const QString& text, const std::function<void()>& action) {
    connect(m_pMenu->addAction(text), &QAction::triggered, this, [action] { action(); });
  };
  add(Tr("&Show"), m_actions.show);
  add(Tr("&Update catalogue"), m_actions.update);
  m_pMenu->addSeparator();
  add(Tr("&Quit"), m_actions.quit);
  connect(m_pMenu.get(), &QMenu::aboutToShow, this, [this] { Recheck(); });

  m_pIcon = new QSystemTrayIcon(this);
  m_pIcon->setContextMenu(m_pMenu.get());
  connect(m_pIcon, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
              m_actions.show();
            }
          });
  Recheck();
  m_pIcon->show();
}

TrayIcon::~TrayIcon() {
  delete m_pIcon;  // before the menu it shows
  m_pIcon = nullptr;
}

void TrayIcon::SetUpdating(bool updating) {
  m_bUpdating = updating;
  Recheck();
}

void TrayIcon::Recheck() {
  if (m_bUpdating) {
    Show(State::kUpdating, Tr("Quillbox label server: updating the catalogue"));
    return;
  }
  const std::optional<std::string> last = ReadLastUpdateRun();
  if (last && LastUpdateRunFailed(*last)) {
    Show(State::kProblem, Tr("Quillbox label server: the last catalogue update failed"));
    return;
  }
  // A print system that cannot be asked is shown by the window, not here.
  const Result<std::vector<PrinterStatus>> printers = m_pPrinters->Printers();
  for (const PrinterStatus& printer : printers ? *printers : std::vector<PrinterStatus>()) {
    if (printer.isDefault && DefaultPrinterStopped({printer})) {
      Show(State::kProblem, Tr("Quillbox label server: the default printer %1 is stopped")
                                .arg(QString::fromStdString(printer.name)));
      return;
    }
  }
  Show(State::kIdle, Tr("Quillbox label server: idle"));
}

QString TrayIcon::ToolTip() const { return m_pIcon->toolTip(); }

void TrayIcon::Show(State state, const QString& tooltip) {
  if (m_pIcon->icon().isNull() || state != m_state) {
    m_pIcon->setIcon(IconFor(state));
  }
  m_state = state;
  m_pIcon->setToolTip(tooltip);
}

QIcon TrayIcon::IconFor(State state) {
  // A label (white, rounded) with a badge: green idle, blue updating, red
  // problem.
  constexpr int kSize = 64;
  QPixmap picture(kSize, kSize);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x44, 0x44, 0x44), 3));
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(4, 12, 48, 36), 6, 6);
  painter.setPen(QPen(QColor(0x88, 0x88, 0x88), 3));
  painter.drawLine(12, 24, 40, 24);
  painter.drawLine(12, 34, 32, 34);
  const QColor badge = state == State::kProblem    ? QColor(0xd0, 0x2b, 0x2b)
                       : state == State::kUpdating ? QColor(0x1f, 0x6f, 0xd1)
                                                   : QColor(0x2e, 0x9e, 0x44);
  painter.setPen(Qt::NoPen);
  painter.setBrush(badge);
  painter.drawEllipse(QRectF(34, 34, 28, 28));
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  if (state == State::kProblem) {
    painter.drawLine(48, 40, 48, 51);
    painter.drawPoint(48, 57);
  } else if (state == State::kUpdating) {
    painter.drawLine(48, 40, 48, 55);
    painter.drawLine(42, 49, 48, 55);
    painter.drawLine(54, 49, 48, 55);
  } else {
    painter.drawLine(41, 48, 46, 54);
    painter.drawLine(46, 54, 55, 42);
  }
  painter.end();
  return QIcon(picture);
}

}  // namespace qb
