#include "update/DownloadDataBase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <unistd.h>

#include "update/HttpGet.h"
#include "util/CatalogueUrl.h"
#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/SafePath.h"
#include "util/Unzip.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr auto kPollPause = std::chrono::milliseconds(2);

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

uint64_t DownloadDataBase::Reset() {
  std::lock_guard lock(m_mutex);
  m_urls.clear();
  m_entries.clear();
  return ++m_nResets;
}

uint64_t DownloadDataBase::ResetCount() const {
  std::lock_guard lock(m_mutex);
  return m_nResets;
}

void DownloadDataBase::Enqueue(const std::string& url, const std::string& tag,
                               SuccessCallback onSuccess, FailureCallback onFailure) {
  std::lock_guard lock(m_mutex);
  if (m_entries.contains(url)) {
    return;
  }
  m_urls.push_back(url);
  m_entries.emplace(url, Entry{tag, false, onSuccess, onFailure});
}

void DownloadDataBase::RunQueue() {
  for (;;) {
    if (Stopping() || m_bRunning.load() == 0) {
      return;
    }
    std::string url;
    bool mine = false;  // false: another worker is serving an entry
    {
      std::lock_guard lock(m_mutex);
      if (m_urls.empty()) {
        return;
      }
      int idle = 0;
      mine = m_bBusy.compare_exchange_strong(idle, 1);
      if (mine) {
        url = m_urls.front();
      }
    }
    if (mine) {
      Serve(url);
    }
    std::this_thread::sleep_for(kPollPause);
  }
}

void DownloadDataBase::Serve(const std::string& url) {
  if (url.empty()) {
    CompleteFront(url);
    return;
  }
  const std::string upper = Upper(url);
  const std::string request =
      upper.find("HTTP") != std::string::npos ? url : catalogueBaseUrl() + url;
  bool textEntry = false;
  std::string tag;
  {
    std::lock_guard lock(m_mutex);
    const auto entry = m_entries.find(url);
    if (entry == m_entries.end()) {
      // Forgotten by a Reset since it was taken from the list.
      m_bBusy.store(0);
      return;
    }
    textEntry = entry->second.onSuccess != nullptr;
    tag = entry->second.tag;
  }
  textEntry = textEntry && upper.find(".ZIP") == std::string::npos;

  if (textEntry) {
    const std::string body = HttpGet(request, nullptr, m_pStop);
    if (!body.empty()) {
      DeliverText(url, tag, body);
    } else {
      DeliverFailure(url, body);
    }
    return;
  }

  const std::string local = LocalPath(url);
  if (local.empty()) {
    LogError("refused a download outside the data folder: " + url);
    MarkFailed();
    CompleteFront(url);
    return;
  }
  const std::string folder = DirectoryPart(local);
  if (!DirectoryExists(folder)) {
    CreateDirectories(folder);
  }
  // The file is fetched beside its place and moved there once complete: a
  // failed or interrupted download keeps the earlier file and leaves no
  // partial one that would pass for complete.
  const std::string partial = local + kPartialSuffix;
  if (HttpGet(request, &partial, m_pStop).empty() ||
      std::rename(partial.c_str(), local.c_str()) != 0) {
    ::unlink(partial.c_str());
    if (!Stopping()) {
      LogError("download failed: " + request);
    }
    MarkFailed();
    CompleteFront(url);
    return;
  }
  FinishFile(url);
}

std::string DownloadDataBase::LocalPath(const std::string& url) {
  const std::string dataFolder = GetDataFolder();
  if (!DirectoryExists(dataFolder)) {
    CreateDirectories(dataFolder);
  }
  const size_t start = url.find_first_not_of('/');
  if (start == std::string::npos) {
    return {};
  }
  const std::optional<std::string> path = ResolveInsideFolder(dataFolder, url.substr(start));
  if (!path || *path == dataFolder) {
    return {};
  }
  return *path;
}

void DownloadDataBase::CompleteFront(const std::string& url) {
  std::lock_guard lock(m_mutex);
  // A Reset while the entry was served may have replaced the list: only the
  // served URL itself is removed.
  if (!m_urls.empty() && m_urls.front() == url) {
    m_urls.pop_front();
  }
  const auto entry = m_entries.find(url);
  if (entry != m_entries.end()) {
    entry->second.done = true;
  }
  m_bBusy.store(0);
  if (m_urls.empty()) {
    m_bRunning.store(0);
  }
}

std::optional<DownloadDataBase::Entry> DownloadDataBase::UnservedEntry(
    const std::string& url) const {
  std::lock_guard lock(m_mutex);
  const auto entry = m_entries.find(url);
  if (entry == m_entries.end() || entry->second.done) {
    return std::nullopt;
  }
  return entry->second;
}

void DownloadDataBase::DeliverText(const std::string& url, const std::string& tag,
                                   const std::string& body) {
  if (const std::optional<Entry> entry = UnservedEntry(url); entry && entry->onSuccess) {
    entry->onSuccess(url, tag, body, *this);
  }
  CompleteFront(url);
}

void DownloadDataBase::DeliverFailure(const std::string& url, const std::string& body) {
  if (const std::optional<Entry> entry = UnservedEntry(url); entry && entry->onFailure) {
    entry->onFailure(url, body, *this);
  }
  CompleteFront(url);
}

void DownloadDataBase::FinishFile(const std::string& url) {
  m_nFiles.fetch_add(1);
  {
    std::lock_guard lock(m_mutex);
    const auto entry = m_entries.find(url);
    if (entry != m_entries.end()) {
      entry->second.done = true;
    }
  }
  if (Upper(url).find(".ZIP") != std::string::npos) {
    const std::string local = LocalPath(url);
    if (!local.empty()) {
      Unzip(local);
      if (std::remove(local.c_str()) != 0) {
        LogError("cannot delete the unpacked archive " + local);
      }
    }
  }
  CompleteFront(url);
}

void DownloadDataBase::MarkFailed() {
  m_bAllSucceeded.store(0);
  m_nFailures.fetch_add(1);
}

void DownloadDataBase::CommitVersionFile() {
  if (m_bAllSucceeded.load() == 0) {
    return;
  }
  const std::string folder = GetDataFolder();
  const std::string fresh = folder + "/New_verFile_DB.txt";
  const std::string current = folder + "/verFile_DB.txt";
  // rename replaces the old file in one step: there is never a moment without
  // a version file.
  if (::access(fresh.c_str(), F_OK) == 0 && std::rename(fresh.c_str(), current.c_str()) != 0) {
    LogError("cannot commit " + fresh);
  }
}

int DownloadDataBase::Pending() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_urls.size());
}

std::string DownloadDataBase::StatusText() const {
  return "V=" + std::to_string(Pending()) + "&M=100";
}

}  // namespace qb
