#include "shell/DesktopControl.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shell/ControlChannel.h"
#include "shell/DesktopNotice.h"
#include "shell/OriginPrompt.h"
#include "shell/Presence.h"
#include "output/CPrintMgr.h"
#include "output/CPrintSession.h"
#include "output/CQxSaveSession.h"
#include "output/PrintJob.h"
#include "output/PrintLimits.h"
#include "output/SaveDocument.h"
#include "server/Listener.h"
#include "util/CatalogueUrl.h"
#include "util/EnvNumber.h"
#include "util/Log.h"
#include "util/LogFile.h"

namespace qb {
namespace {

constexpr int kControlTimeoutMs = 5000;
constexpr qint64 kMaxControlLine = 64;

}  // namespace

DesktopControl::DesktopControl(CAppData* appData, bool showDialogs)
    : m_pAppData(appData), m_bShowDialogs(showDialogs) {
  // Outcomes are recorded on connection threads, the job watch and here; the
  // notification is shown on the UI thread.
  m_pAppData->PrintSessions().Outcomes().SetNoticeSink([](const PrintOutcome& outcome) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [outcome] { ShowPrintNotice(outcome); },
        Qt::QueuedConnection);
  });
}

DesktopControl::~DesktopControl() {
  m_pAppData->PrintSessions().Outcomes().SetNoticeSink(nullptr);
  Close();
}

void DesktopControl::StartPresence() {
  if (!m_bShowDialogs || m_pPresence) {
    return;
  }
  m_pPresence = std::make_unique<Presence>(m_pAppData, m_started,
                                           [this] { HandleMessage(kMsgQuit, 0); });
  m_pPresence->StartTray();
}

bool DesktopControl::ShowStatusWindow() {
  if (!m_pPresence) {
    return false;
  }
  m_pPresence->ShowWindow();
  return true;
}

Result<> DesktopControl::Open(const std::string& socketPath) {
  const sigset_t blocked = ControlSignals();
  m_signalFd.Reset(::signalfd(-1, &blocked, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!m_signalFd.Valid()) {
    return Failure{std::string("cannot take signals: ") + std::strerror(errno)};
  }
  m_pSignalNotifier = new QSocketNotifier(m_signalFd.Get(), QSocketNotifier::Read, this);
  connect(m_pSignalNotifier, &QSocketNotifier::activated, this, [this] { OnSignal(); });

  const QString path = QString::fromStdString(socketPath);
  QLocalServer::removeServer(path);  // a stale socket: the instance lock is ours
  m_pServer = new QLocalServer(this);
  m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
  if (!m_pServer->listen(path)) {
    const std::string reason = "cannot create the control socket " + socketPath + ": " +
                               m_pServer->errorString().toStdString();
    delete m_pServer;
    m_pServer = nullptr;
    return Failure{reason};
  }
  ::chmod(socketPath.c_str(), 0600);
  connect(m_pServer, &QLocalServer::newConnection, this, [this] { OnControlConnection(); });
  return {};
}

void DesktopControl::Close() {
  m_bClosing = 1;
  if (m_pServer != nullptr) {
    m_pServer->close();  // removes the socket file
    delete m_pServer;
    m_pServer = nullptr;
  }
}

void DesktopControl::StartListener() {
  if (!qb::StartListener(*m_pAppData)) {
    LogDebug("the listener runs already");
  }
}

bool DesktopControl::HandleMessage(int code, int param) {
  switch (ActionFor(code, param)) {
    case ControlAction::kRelisten:
      LogInfo("rebinding on request");
      m_pAppData->RequestRelisten();
      return true;
    case ControlAction::kQuit:
      if (code == kMsgNotify) {
        // As the message it stands for: the quit is posted to the window.
        QMetaObject::invokeMethod(
            this, [this] { HandleMessage(kMsgQuit, 0); }, Qt::QueuedConnection);
        return true;
      }
      LogInfo("stopping");
      m_bClosing = 1;
      m_dialogs.Stop();
      QCoreApplication::exit(0);
      return true;
    case ControlAction::kNone:
      return true;
    case ControlAction::kUnknown:
      break;
  }
  return false;
}

void DesktopControl::PostPrint(std::shared_ptr<CPrintSession> session) {
  QMetaObject::invokeMethod(
      this,
      [this, session] {
        CPrintMgr* prints = &m_pAppData->PrintSessions();
        m_dialogs.Run(
            [this, session, prints] {
              PrintSession(session.get(), Printer(), m_bShowDialogs, &prints->Outcomes(),
                           &prints->JobWatch());
            },
            [session, prints] {
              session->Finish();
              LogInfo("print session " + session->m_strId +
                      " is not printed: the server is stopping");
              prints->Outcomes().Update(session->m_strId, [](PrintOutcome& outcome) {
                outcome.state = PrintState::kFailed;
                outcome.message =
                    QCoreApplication::translate("qb::DesktopControl",
                                                "the server stopped before it was printed")
                        .toStdString();
              });
            });
      },
      Qt::QueuedConnection);
}

void DesktopControl::PostSave(std::unique_ptr<CQxSaveSession> session) {
  // Queued work must be copyable; the holder hands the session over once and
  // deletes it with the queued call if the call never runs.
  auto holder = std::make_shared<std::unique_ptr<CQxSaveSession>>(std::move(session));
  QMetaObject::invokeMethod(
      this,
      [this, holder] {
        m_dialogs.Run(
            [this, holder] {
              SaveDocument(&m_pAppData->Saves(), std::move(*holder), m_bShowDialogs);
            },
            [holder] {
              if (*holder) {
                LogError("document " + (*holder)->m_strId +
                         " is not saved: the server is stopping");
              }
            });
      },
      Qt::QueuedConnection);
}

void DesktopControl::PostOriginQuestion(const std::string& origin, std::function<bool()> stillOpen,
                                 std::function<void(OriginAnswer)> answered) {
  QMetaObject::invokeMethod(
      this,
      [this, origin, stillOpen = std::move(stillOpen), answered = std::move(answered)] {
        if (m_pOriginPrompt == nullptr) {
          m_pOriginPrompt = new OriginPrompt(this);
        }
        m_pOriginPrompt->Ask(origin, stillOpen, answered);
      },
      Qt::QueuedConnection);
}

std::string DesktopControl::StatusText() const {
  const auto up = std::chrono::steady_clock::now() - m_started;
  const auto uptime = std::chrono::duration_cast<std::chrono::seconds>(up);
  return "pid=" + std::to_string(::getpid()) + "\nuptime=" + std::to_string(uptime.count()) +
         "\nversion=" QUILLBOX_VERSION "\nport=" + std::to_string(m_pAppData->ListeningPort()) +
         "\nlistening=" + m_pAppData->GetListening().Text() +
         "\nheadless=" + (m_bShowDialogs ? "no" : "yes") +
         "\nDISPLAY=" + EnvText("DISPLAY") +
         "\nWAYLAND_DISPLAY=" + EnvText("WAYLAND_DISPLAY") +
         "\ncatalogue=" + catalogueBaseUrl() + "\nproxy=" + catalogueProxy() +
         "\nprintSessionsOpen=" +
         std::to_string(m_pAppData->PrintSessions().OpenSessionCount()) +
         "\nprintPageBytes=" + std::to_string(StoredPageBytes()) + "\n" +
         "log=" + LogFilePath() + "\n";
}

QPrinter* DesktopControl::Printer() {
  // Until a destination exists, look again at every job: a printer may have
  // been set up since.
  if (!m_pPrinter || !HasPrinter(*m_pPrinter)) {
    m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  }
  return m_pPrinter.get();
}

void DesktopControl::OnControlConnection() {
  while (QLocalSocket* client = m_pServer->nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    QTimer::singleShot(kControlTimeoutMs, client, [client] { client->abort(); });
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
      if (!client->canReadLine()) {
        if (client->bytesAvailable() > kMaxControlLine) {
          client->abort();
        }
        return;
      }
      const QByteArray line = client->readLine(kMaxControlLine + 1);
      if (line.trimmed().toStdString() == kShowRequest) {
        LogDebug("control message show");
        const bool shown = ShowStatusWindow();
        client->write(shown ? QByteArray("ok\n")
                            : QByteArray::fromStdString(std::string(kShowHeadless) + "\n"));
        client->flush();
        client->disconnectFromServer();
        return;
      }
      if (line.trimmed().toStdString() == kStatusRequest) {
        LogDebug("control message status");
        client->write(QByteArray::fromStdString(StatusText()));
        client->flush();
        client->disconnectFromServer();
        return;
      }
      const std::optional<ControlMessage> message = ParseControlLine(line.toStdString());
      const bool known =
          message && ActionFor(message->code, message->param) != ControlAction::kUnknown;
      LogDebug("control message " + line.trimmed().toStdString());
      client->write(known ? "ok\n" : "unknown\n");
      client->flush();
      client->disconnectFromServer();
      if (known) {
        HandleMessage(message->code, message->param);
      }
    });
  }
}

void DesktopControl::OnSignal() {
  signalfd_siginfo info{};
  while (::read(m_signalFd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (info.ssi_signo == SIGHUP) {
      HandleMessage(kMsgRelisten, 0);
    } else {
      HandleMessage(kMsgQuit, 0);
    }
  }
}

}  // namespace qb
