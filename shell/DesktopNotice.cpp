#include "shell/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "util/Log.h"

namespace qb {
namespace {

constexpr int kShownForMs = -1;  // the service's own time

}  // namespace

void ShowPrintNotice(const PrintOutcome& outcome) {
  const std::string what = "print session " + outcome.id;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    LogInfo(what + ": no desktop notification: no session bus");
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quillbox-server"));
  call << QStringLiteral("Quillbox label server") << 0u << QStringLiteral("printer-error")
       << QString::fromStdString(NoticeTitle()) << QString::fromStdString(NoticeDetail(outcome))
       << QStringList() << hints << kShownForMs;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [what](QDBusPendingCallWatcher* finished) {
                     const QDBusPendingReply<uint> reply = *finished;
                     if (reply.isError()) {
                       LogInfo(what + ": no desktop notification: " +
                               reply.error().message().toStdString());
                     } else {
                       LogInfo(what + ": desktop notification shown");
                     }
                     finished->deleteLater();
                   });
}

}  // namespace qb
