#include "shell/StatusWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "context/CAppData.h"
#include "context/SiteDirectory.h"
#include "output/PrintHistory.h"
#include "output/PrinterDirectory.h"
#include "output/RememberedPrinters.h"
#include "update/LastUpdateRun.h"
#include "update/VersionCheck.h"
#include "util/EnvNumber.h"
#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr int kTickMs = 1000;
constexpr int kTicksPerFullRefresh = 5;  // sources read from disk and CUPS
constexpr int kOriginRole = Qt::UserRole;
constexpr int kAllowedRole = Qt::UserRole + 1;
constexpr int kEditableRole = Qt::UserRole + 2;

QString Tr(const char* text) { return QCoreApplication::translate("StatusWindow", text); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

QLabel* AddRow(QGridLayout* grid, const QString& name) {
  const int row = grid->rowCount();
  grid->addWidget(new QLabel(name), row, 0, Qt::AlignTop);
  auto* value = new QLabel;
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  value->setWordWrap(true);
  grid->addWidget(value, row, 1);
  return value;
}

QTreeWidget* NewTable(const QStringList& headers, const QString& name) {
  auto* table = new QTreeWidget;
  table->setHeaderLabels(headers);
  table->setRootIsDecorated(false);
  table->setAccessibleName(name);
  table->header()->setStretchLastSection(true);
  table->setMaximumHeight(120);
  return table;
}

// Fills `table` with `rows` unless it shows them already (a refresh keeps
// the selection then). `decorate` may set each item's data.
void Fill(QTreeWidget* table, const std::vector<QStringList>& rows,
          const std::function<void(QTreeWidgetItem*, size_t)>& decorate = {}) {
  QString content;
  for (const QStringList& row : rows) {
    content += row.join(QChar(0x1f)) + QChar(0x1e);
  }
  if (table->property("content").toString() == content && table->topLevelItemCount() > 0) {
    return;
  }
  table->setProperty("content", content);
  table->clear();
  for (size_t i = 0; i < rows.size(); ++i) {
    auto* item = new QTreeWidgetItem(table, rows[i]);
    if (decorate) {
      decorate(item, i);
    }
  }
  for (int column = 0; column + 1 < table->columnCount(); ++column) {
    table->resizeColumnToContents(column);
  }
}

QString Uptime(std::chrono::steady_clock::duration up) {
  const long total = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(up).count());
  return QStringLiteral("%1:%2:%3")
      .arg(total / 3600)
      .arg(total / 60 % 60, 2, 10, QChar('0'))
      .arg(total % 60, 2, 10, QChar('0'));
}

QString StateText(const PrinterStatus& printer) {
  QString state = printer.state == PrinterStatus::State::kStopped    ? Tr("stopped")
                  : printer.state == PrinterStatus::State::kPrinting ? Tr("printing")
                                                                      : Tr("idle");
  if (!printer.accepting) {
    state += Tr(", refusing jobs");
  }
  return state;
}

}  // namespace

QString ListeningText(const ListeningPlace& place, int configuredPort) {
  switch (place.way) {
    case ListeningPlace::Way::kNowhere:
      break;
    case ListeningPlace::Way::kBound: {
      QString bound;
      for (const std::string& address : place.addresses) {
        bound = bound.isEmpty() ? Text(address) : Tr("%1 and %2").arg(bound, Text(address));
      }
      return Tr("%1 port %2").arg(bound).arg(place.port);
    }
    case ListeningPlace::Way::kRegistered:
      return Tr("port %1 through the port broker at %2 (registered)")
          .arg(place.port)
          .arg(Text(place.broker));
    case ListeningPlace::Way::kWaiting:
      return Tr("port %1 through the port broker at %2 (waiting: another server of this user "
                "is registered)")
          .arg(place.port)
          .arg(Text(place.broker));
  }
  return Tr("not listening (port %1 cannot be bound; see the log)").arg(configuredPort);
}

StatusWindow::StatusWindow(StatusSources sources)
    : m_sources(std::move(sources)),
      m_printerQuery(m_sources.printers, [this](const PrinterQuery::Answer& printers) {
        ShowPrinters(printers);
      }) {
  setWindowTitle(Tr("Quillbox label server"));
  setObjectName(QStringLiteral("StatusWindow"));
  auto* layout = new QVBoxLayout(this);
  const auto section = [&](const QString& title, void (StatusWindow::*build)(QWidget*)) {
    auto* box = new QGroupBox(title);
    box->setAccessibleName(title);
    (this->*build)(box);
    layout->addWidget(box);
  };
  section(Tr("Server"), &StatusWindow::BuildRunning);
  section(Tr("Catalogue"), &StatusWindow::BuildCatalogue);
  section(Tr("Printers"), &StatusWindow::BuildPrinters);
  section(Tr("Sites"), &StatusWindow::BuildSites);
  section(Tr("Recent prints"), &StatusWindow::BuildPrints);

  auto* buttons = new QHBoxLayout;
  auto* openLog = new QPushButton(Tr("Open log"));
  auto* quit = new QPushButton(Tr("Quit"));
  buttons->addWidget(openLog);
  buttons->addStretch();
  buttons->addWidget(quit);
  layout->addLayout(buttons);
  connect(openLog, &QPushButton::clicked, this, [this] { OpenLog(); });
  connect(quit, &QPushButton::clicked, this, [this] {
    if (m_sources.quit) {
      m_sources.quit();
    }
  });

  m_timer.setInterval(kTickMs);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    if (++m_nTicks % kTicksPerFullRefresh == 0) {
      Refresh();
    } else {
      RefreshQuick();
    }
  });
  resize(640, 720);
}

void StatusWindow::BuildRunning(QWidget* box) {
  auto* grid = new QGridLayout(box);
  grid->setColumnStretch(1, 1);
  m_pListening = AddRow(grid, Tr("Listening:"));
  m_pUptime = AddRow(grid, Tr("Running for:"));
  m_pMode = AddRow(grid, Tr("Dialogs:"));
}

void StatusWindow::BuildCatalogue(QWidget* box) {
  auto* grid = new QGridLayout(box);
  grid->setColumnStretch(1, 1);
  m_pVersion = AddRow(grid, Tr("Version:"));
  m_pLastRun = AddRow(grid, Tr("Last update:"));
  m_pLastRun->setObjectName(QStringLiteral("lastUpdate"));
  m_pProgress = new QProgressBar;
  m_pProgress->setAccessibleName(Tr("Update progress"));
  m_pProgress->setVisible(false);
  m_pUpdate = new QPushButton(Tr("Update now"));
  grid->addWidget(m_pProgress, grid->rowCount(), 0, 1, 2);
  grid->addWidget(m_pUpdate, grid->rowCount(), 0, 1, 2, Qt::AlignLeft);
  connect(m_pUpdate, &QPushButton::clicked, this, [this] {
    if (m_sources.updateNow) {
      m_sources.updateNow();
    }
    RefreshQuick();
  });
}

void StatusWindow::BuildPrinters(QWidget* box) {
  auto* column = new QVBoxLayout(box);
  m_pPrinters = NewTable({Tr("Printer"), Tr("State"), Tr("Reasons")}, Tr("Printers"));
  column->addWidget(m_pPrinters);
  column->addWidget(new QLabel(Tr("Printer remembered for each sheet size:")));
  m_pRemembered = NewTable({Tr("Sheet size"), Tr("Printer")}, Tr("Remembered printers"));
  column->addWidget(m_pRemembered);
  m_pForget = new QPushButton(Tr("Forget printer"));
  m_pForget->setEnabled(false);
  column->addWidget(m_pForget, 0, Qt::AlignLeft);
  connect(m_pRemembered, &QTreeWidget::itemSelectionChanged, this,
          [this] { m_pForget->setEnabled(!m_pRemembered->selectedItems().isEmpty()); });
  connect(m_pForget, &QPushButton::clicked, this, [this] { ForgetSelectedPrinter(); });
}

void StatusWindow::BuildSites(QWidget* box) {
  auto* column = new QVBoxLayout(box);
  m_pSites = NewTable({Tr("Site"), Tr("Answer"), Tr("Kept in")}, Tr("Sites"));
  // The list the user edits keeps its full height; the others give way.
  m_pSites->setMinimumHeight(m_pSites->maximumHeight());
  column->addWidget(m_pSites);
  auto* row = new QHBoxLayout;
  m_pRemoveSite = new QPushButton(Tr("Remove site"));
  m_pSwitchSite = new QPushButton(Tr("Switch allow/deny"));
  row->addWidget(m_pRemoveSite);
  row->addWidget(m_pSwitchSite);
  row->addStretch();
  column->addLayout(row);
  const auto selectionChanged = [this] {
    const QList<QTreeWidgetItem*> selected = m_pSites->selectedItems();
    const bool editable = !selected.isEmpty() && selected.front()->data(0, kEditableRole).toBool();
    m_pRemoveSite->setEnabled(editable);
    m_pSwitchSite->setEnabled(editable);
  };
  selectionChanged();
  connect(m_pSites, &QTreeWidget::itemSelectionChanged, this, selectionChanged);
  connect(m_pRemoveSite, &QPushButton::clicked, this, [this] { ChangeSelectedSite(true); });
  connect(m_pSwitchSite, &QPushButton::clicked, this, [this] { ChangeSelectedSite(false); });
}

void StatusWindow::BuildPrints(QWidget* box) {
  auto* column = new QVBoxLayout(box);
  m_pPrints = NewTable({Tr("Time"), Tr("Session"), Tr("Sheet"), Tr("Pages"), Tr("Outcome")},
                       Tr("Recent prints"));
  column->addWidget(m_pPrints);
}

void StatusWindow::ShowAndRaise() {
  if (isMinimized()) {
    showNormal();
  }
  show();
  raise();
  activateWindow();
  Refresh();
}

void StatusWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
  m_timer.start();
}

void StatusWindow::hideEvent(QHideEvent* event) {
  m_timer.stop();
  QWidget::hideEvent(event);
}

void StatusWindow::Refresh() {
  RefreshQuick();
  RefreshCatalogue();
  RefreshPrinters();
  RefreshSites();
  RefreshPrints();
}

void StatusWindow::RefreshQuick() {
  CAppData& app = *m_sources.appData;
  m_pListening->setText(ListeningText(app.GetListening(), app.GetPort()));
  m_pUptime->setText(Uptime(std::chrono::steady_clock::now() - m_sources.started));
  m_pMode->setText(m_sources.headless
                       ? Tr("none: headless")
                       : Tr("shown on %1").arg(Text(EnvText("WAYLAND_DISPLAY").empty()
                                                        ? EnvText("DISPLAY")
                                                        : EnvText("WAYLAND_DISPLAY"))));

  const bool running = app.Updates().Running();
  if (running) {
    // The downloads still waiting, as the update status route reports them.
    const int pending = app.Downloads().Pending();
    m_nMostPending = std::max(m_nMostPending, pending);
    m_pProgress->setRange(0, std::max(m_nMostPending, 1));
    m_pProgress->setValue(m_nMostPending - pending);
    const QString text = Tr("Updating: %1 downloads waiting").arg(pending);
    m_pProgress->setFormat(text);
    m_pProgress->setAccessibleDescription(text);
  } else if (m_pProgress->isVisible()) {
    m_nMostPending = 0;
    RefreshCatalogue();
  }
  m_pProgress->setVisible(running);
  m_pUpdate->setEnabled(!running);
}

void StatusWindow::RefreshCatalogue() {
  const std::optional<int> version = LocalCatalogueVersion();
  m_pVersion->setText(version ? QString::number(*version) : Tr("none yet"));
  const std::optional<std::string> last = ReadLastUpdateRun();
  if (!last) {
    m_pLastRun->setText(Tr("none recorded"));
  } else if (LastUpdateRunFailed(*last)) {
    m_pLastRun->setText(Tr("%1 (failed: see the log)").arg(Text(*last)));
  } else {
    m_pLastRun->setText(Text(*last));
  }
}

void StatusWindow::RefreshPrinters() {
  m_printerQuery.Ask();
  RefreshRemembered();
}

void StatusWindow::ShowPrinters(const PrinterQuery::Answer& printers) {
  std::vector<QStringList> rows;
  if (!printers) {
    rows.push_back({Tr("the printers cannot be read"), QString(), Text(printers.Error())});
  }
  for (const PrinterStatus& printer : printers ? *printers : std::vector<PrinterStatus>()) {
    rows.push_back({printer.isDefault ? Tr("%1 (default)").arg(Text(printer.name))
                                      : Text(printer.name),
                    StateText(printer),
                    printer.reasons.empty() ? Tr("none") : Text(printer.reasons)});
  }
  if (rows.empty()) {
    rows.push_back({Tr("no printer is set up"), QString(), QString()});
  }
  Fill(m_pPrinters, rows);
}

void StatusWindow::RefreshRemembered() {
  std::vector<QStringList> rows;
  const std::vector<RememberedPrinter> remembered = m_sources.remembered->List();
  for (const RememberedPrinter& entry : remembered) {
    rows.push_back({Text(entry.sheet), Text(entry.printer)});
  }
  Fill(m_pRemembered, rows, [&](QTreeWidgetItem* item, size_t i) {
    item->setData(0, kOriginRole, Text(remembered[i].sheet));
  });
}

void StatusWindow::RefreshSites() {
  const std::vector<SiteEntry> sites = m_sources.sites->Sites();
  std::vector<QStringList> rows;
  const auto editable = [](const SiteEntry& site) {
    return site.source != SiteSource::kSystemFile;
  };
  for (const SiteEntry& site : sites) {
    const QString file = Text(site.file);
    const QString kept = site.source == SiteSource::kAnswer
                             ? Tr("answer to the question (%1)").arg(file)
                         : editable(site) ? Tr("your settings (%1)").arg(file)
                                          : Tr("system settings, read-only (%1)").arg(file);
    rows.push_back({Text(site.origin), site.allowed ? Tr("allowed") : Tr("denied"), kept});
  }
  Fill(m_pSites, rows, [&](QTreeWidgetItem* item, size_t i) {
    item->setData(0, kOriginRole, Text(sites[i].origin));
    item->setData(0, kAllowedRole, sites[i].allowed);
    item->setData(0, kEditableRole, editable(sites[i]));
    if (!editable(sites[i])) {
      item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    }
  });
}

void StatusWindow::RefreshPrints() {
  std::vector<QStringList> rows;
  for (const PrintRecord& record : m_sources.prints->Latest()) {
    rows.push_back({Text(record.when), Text(record.id), Text(record.sheet),
                    QString::number(record.pages), Text(record.outcome)});
  }
  Fill(m_pPrints, rows);
}

void StatusWindow::ChangeSelectedSite(bool remove) {
  const QList<QTreeWidgetItem*> selected = m_pSites->selectedItems();
  if (selected.isEmpty() || !selected.front()->data(0, kEditableRole).toBool()) {
    return;
  }
  const std::string origin = selected.front()->data(0, kOriginRole).toString().toStdString();
  const bool allowed = selected.front()->data(0, kAllowedRole).toBool();
  const Result<> changed =
      remove ? m_sources.sites->Remove(origin) : m_sources.sites->Switch(origin, !allowed);
  if (!changed) {
    ShowFailure(Tr("The site could not be changed."), changed.Error());
  }
  RefreshSites();
}

void StatusWindow::ForgetSelectedPrinter() {
  const QList<QTreeWidgetItem*> selected = m_pRemembered->selectedItems();
  if (selected.isEmpty()) {
    return;
  }
  const std::string sheet = selected.front()->data(0, kOriginRole).toString().toStdString();
  if (const Result<> forgotten = m_sources.remembered->Forget(sheet); !forgotten) {
    ShowFailure(Tr("The printer could not be forgotten."), forgotten.Error());
  }
  RefreshRemembered();
}

void StatusWindow::OpenLog() {
  // Under systemd the log is the unit's journal: it is copied to a file the
  // desktop opens. Otherwise it is the log file, when the server keeps one.
  if (!EnvText("JOURNAL_STREAM").empty() || !EnvText("INVOCATION_ID").empty()) {
    const std::string folder = GetStateFolder() + "/Tavrim/Quillbox";
    CreateDirectories(folder);
    const QString copy = Text(folder + "/journal.txt");
    auto* journal = new QProcess(this);
    journal->setStandardOutputFile(copy);
    connect(journal, &QProcess::finished, this, [this, journal, copy](int exitCode) {
      journal->deleteLater();
      if (exitCode != 0 || !QDesktopServices::openUrl(QUrl::fromLocalFile(copy))) {
        ShowFailure(Tr("The log could not be opened."),
                    "journalctl --user -u quillbox-server exited with " +
                        std::to_string(exitCode));
      }
    });
    connect(journal, &QProcess::errorOccurred, this, [this, journal](QProcess::ProcessError) {
      journal->deleteLater();
      ShowFailure(Tr("The log could not be opened."), "journalctl cannot be run");
    });
    journal->start(QStringLiteral("journalctl"),
                   {QStringLiteral("--user"), QStringLiteral("-u"),
                    QStringLiteral("quillbox-server"), QStringLiteral("--no-pager"),
                    QStringLiteral("-n"), QStringLiteral("2000")});
    return;
  }
  const QString file = Text(GetStateFolder() + "/Tavrim/Quillbox/quillbox-server.log");
  if (!QFileInfo::exists(file)) {
    QMessageBox::information(this, windowTitle(),
                             Tr("This server keeps no log file: its log goes to the terminal "
                                "or session that started it."));
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
    ShowFailure(Tr("The log could not be opened."), "no application opens " + file.toStdString());
  }
}

void StatusWindow::ShowFailure(const QString& what, const std::string& reason) {
  LogError("status window: " + reason);
  QMessageBox::warning(this, windowTitle(), what + QStringLiteral("\n") + Text(reason));
}

}  // namespace qb
