#include "shell/SitesWatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// The configuration file in each configuration folder, the user's first.
QStringList ConfigFilePaths() {
  QStringList paths{QString::fromStdString(GetConfigFile())};
  for (const std::string& folder : GetSystemConfigFolders()) {
    paths << QString::fromStdString(folder + "/" + std::string(kConfigFileName));
  }
  return paths;
}

}  // namespace

SitesWatcher::SitesWatcher(std::function<void()> changed, QObject* parent)
    : QObject(parent), m_changed(std::move(changed)), m_pWatcher(new QFileSystemWatcher(this)) {
  const QStringList files = ConfigFilePaths();
  // The user's folder is made when missing, so that a file created later is
  // seen; the system-wide ones are watched where they exist.
  QDir().mkpath(QFileInfo(files.front()).absolutePath());
  for (const QString& file : files) {
    const QString folder = QFileInfo(file).absolutePath();
    if (QFileInfo(folder).isDir() && !m_pWatcher->addPath(folder)) {
      LogDebug("cannot watch " + folder.toStdString() + " for changes");
    }
  }
  WatchFiles();
  connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { OnChange(); });
  connect(m_pWatcher, &QFileSystemWatcher::fileChanged, this, [this] { OnChange(); });
}

SitesWatcher::~SitesWatcher() = default;

void SitesWatcher::WatchFiles() {
  for (const QString& file : ConfigFilePaths()) {
    if (QFileInfo::exists(file) && !m_pWatcher->files().contains(file)) {
      m_pWatcher->addPath(file);
    }
  }
}

void SitesWatcher::OnChange() {
  WatchFiles();
  if (m_bPending) {
    return;
  }
  // The rest of a burst (a rename after a write) is taken with it.
  m_bPending = true;
  QTimer::singleShot(0, this, [this] {
    m_bPending = false;
    m_changed();
  });
}

}  // namespace qb
