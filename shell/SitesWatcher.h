// Watches the configuration files for changes to the site lists, so that a
// site taken back with --forget-site, or an edit of the user's file, takes
// effect in the running server at once: the folders of the user's file and
// of the system-wide files are watched (a file replaced whole, as editors
// and the server write it, is seen too), and every burst of changes calls
// `changed` once, from the event loop.
//
// Thread contract: UI thread only.
#pragma once

#include <QObject>
#include <functional>

class QFileSystemWatcher;

namespace qb {

class SitesWatcher : public QObject {
 public:
  SitesWatcher(std::function<void()> changed, QObject* parent = nullptr);
  ~SitesWatcher() override;
  SitesWatcher(const SitesWatcher&) = delete;
  SitesWatcher& operator=(const SitesWatcher&) = delete;

 private:
  // Watches the files that exist now (a replaced file is a new one).
  void WatchFiles();
  void OnChange();

  std::function<void()> m_changed;
  QFileSystemWatcher* m_pWatcher = nullptr;  // owned through the QObject tree
  bool m_bPending = false;                   // a call of m_changed is queued
};

}  // namespace qb
