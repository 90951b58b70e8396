#include "update/DownloadDataBase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unordered_set>

#include <unistd.h>

#include "update/HttpGet.h"
#include "util/CatalogueUrl.h"
#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/SafePath.h"
#include "util/Text.h"
#include "util/ServedFiles.h"
#include "util/Unzip.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr auto kPollPause = std::chrono::milliseconds(2);
constexpr auto kUpdateWaitStep = std::chrono::milliseconds(100);

bool IsArchive(const std::string& url) {
  return AsciiLower(url).find(".zip") != std::string::npos;
}

}  // namespace

void DownloadJob::Enqueue(const std::string& url, const std::string& tag,
                          DownloadSuccessCallback onSuccess,
                          DownloadFailureCallback onFailure, const std::string& savedAs) const {
  m_queue->Enqueue(*this, url, tag, onSuccess, onFailure, savedAs);
}

void DownloadJob::MarkFailed() const { m_queue->MarkFailed(*this); }

bool DownloadJob::Stopping() const { return m_queue->Stopping(); }

const std::atomic<int>* DownloadJob::StopFlag() const { return m_queue->StopFlag(); }

DownloadJob DownloadDataBase::OpenJob(bool forgetServed) {
  std::lock_guard lock(m_mutex);
  if (forgetServed) {
    std::erase_if(m_entries, [](const auto& item) {
      return item.second.done && item.second.jobs.empty();
    });
  }
  const uint64_t id = m_nextJob++;
  m_jobs.emplace(id, JobState{});
  return DownloadJob(*this, id);
}

void DownloadDataBase::CloseJob(const DownloadJob& job) {
  std::lock_guard lock(m_mutex);
  m_jobs.erase(job.Id());
  // A waiting entry nobody waits for any more goes, unless it is being served
  // right now: its server completes it.
  const bool serving = m_bBusy.load() != 0 && !m_urls.empty();
  std::unordered_set<std::string> dropped;
  for (auto& [url, entry] : m_entries) {
    std::erase(entry.jobs, job.Id());
    if (!entry.done && entry.jobs.empty() && !(serving && m_urls.front() == url)) {
      dropped.insert(url);
    }
  }
  if (dropped.empty()) {
    return;
  }
  std::erase_if(m_urls, [&dropped](const std::string& url) { return dropped.contains(url); });
  for (const std::string& url : dropped) {
    m_entries.erase(url);
  }
}

void DownloadDataBase::Enqueue(const DownloadJob& job, const std::string& url,
                               const std::string& tag, SuccessCallback onSuccess,
                               FailureCallback onFailure, const std::string& savedAs) {
  if (url.empty()) {
    return;  // names no file
  }
  std::lock_guard lock(m_mutex);
  const auto state = m_jobs.find(job.Id());
  if (state == m_jobs.end()) {
    return;
  }
  const auto known = m_entries.find(url);
  if (known != m_entries.end()) {
    Entry& entry = known->second;
    if (!entry.done && std::find(entry.jobs.begin(), entry.jobs.end(), job.Id()) == entry.jobs.end()) {
      entry.jobs.push_back(job.Id());
      ++state->second.waiting;
    }
    return;
  }
  m_urls.push_back(url);
  m_entries.emplace(url, Entry{tag, false, onSuccess, onFailure, {job.Id()}, savedAs});
  ++state->second.waiting;
}

void DownloadDataBase::MarkFailed(const DownloadJob& job) {
  std::lock_guard lock(m_mutex);
  const auto state = m_jobs.find(job.Id());
  if (state != m_jobs.end()) {
    ++state->second.tally.failures;
  }
}

DownloadTally DownloadDataBase::RunJob(const DownloadJob& job) {
  for (;;) {
    std::string url;
    bool mine = false;  // false: another thread is serving an entry
    {
      std::lock_guard lock(m_mutex);
      const auto state = m_jobs.find(job.Id());
      if (state == m_jobs.end()) {
        return {};
      }
      if (Stopping() || state->second.waiting == 0 || m_urls.empty()) {
        return state->second.tally;
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

std::optional<DownloadJob> DownloadDataBase::OwnerOf(const std::string& url, Entry* entry) {
  std::lock_guard lock(m_mutex);
  const auto known = m_entries.find(url);
  if (known == m_entries.end() || known->second.done) {
    return std::nullopt;
  }
  *entry = known->second;
  if (entry->jobs.empty()) {
    return std::nullopt;
  }
  return DownloadJob(*this, entry->jobs.front());
}

void DownloadDataBase::Serve(const std::string& url) {
  Entry entry;
  if (!OwnerOf(url, &entry)) {
    // Dropped since it was taken from the list: nobody waits for it.
    CompleteFront(url, Outcome::kServed);
    return;
  }
  std::string refusal;
  const std::string request = CatalogueRequestUrl(url, &refusal);
  if (request.empty()) {
    LogError("refused to download " + url + ": " + refusal);
    CompleteFront(url, Outcome::kRefused);
    return;
  }

  if (entry.onSuccess != nullptr && !IsArchive(url)) {
    std::string failure;
    const std::string body = HttpGet(request, nullptr, m_pStop, &failure);
    // The owner may have closed meanwhile (the server is stopping).
    std::optional<DownloadJob> owner = OwnerOf(url, &entry);
    if (!body.empty()) {
      if (owner) {
        entry.onSuccess(url, entry.tag, body, *owner);
      }
    } else {
      if (!Stopping()) {
        LogError("download failed: " + request + ": " + failure);
      }
      if (owner && entry.onFailure != nullptr) {
        entry.onFailure(url, body, *owner);
      }
    }
    CompleteFront(url, Outcome::kServed);
    return;
  }

  const std::string local = LocalPath(entry.savedAs.empty() ? url : entry.savedAs, &refusal);
  if (local.empty()) {
    LogError("refused to download " + url + ": " + refusal);
    CompleteFront(url, Outcome::kRefused);
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
  std::string failure;
  if (HttpGet(request, &partial, m_pStop, &failure).empty() ||
      std::rename(partial.c_str(), local.c_str()) != 0) {
    ::unlink(partial.c_str());
    if (!Stopping()) {
      LogError("download failed: " + request + ": " +
               (failure.empty() ? "cannot move it into place" : failure));
    }
    CompleteFront(url, Outcome::kFailed);
    return;
  }
  if (IsArchive(url)) {
    Unzip(local);
    if (std::remove(local.c_str()) != 0) {
      LogError("cannot delete the unpacked archive " + local);
    }
  }
  CompleteFront(url, Outcome::kFile);
}

std::string DownloadDataBase::LocalPath(const std::string& url, std::string* refusal) {
  std::string reason;
  std::string* why = refusal != nullptr ? refusal : &reason;
  const std::string dataFolder = GetDataFolder();
  if (!DirectoryExists(dataFolder)) {
    CreateDirectories(dataFolder);
  }
  const size_t start = url.find_first_not_of('/');
  const std::optional<std::string> path =
      start == std::string::npos ? std::nullopt : ResolveInsideFolder(dataFolder, url.substr(start));
  std::error_code error;
  const std::filesystem::path root = std::filesystem::canonical(dataFolder, error);
  if (!path || error || std::filesystem::path(*path) == root) {
    *why = "the path leaves the data folder";
    return {};
  }
  *why = ServedFileRefusal(std::filesystem::path(*path).lexically_relative(root).string());
  return why->empty() ? *path : std::string();
}

void DownloadDataBase::CompleteFront(const std::string& url, Outcome outcome) {
  std::lock_guard lock(m_mutex);
  if (!m_urls.empty() && m_urls.front() == url) {
    m_urls.pop_front();
  }
  const auto known = m_entries.find(url);
  if (known != m_entries.end() && !known->second.done) {
    known->second.done = true;
    for (const uint64_t id : known->second.jobs) {
      const auto state = m_jobs.find(id);
      if (state == m_jobs.end()) {
        continue;
      }
      --state->second.waiting;
      DownloadTally& tally = state->second.tally;
      tally.files += outcome == Outcome::kFile ? 1 : 0;
      tally.failures += outcome == Outcome::kFailed ? 1 : 0;
      tally.refused += outcome == Outcome::kRefused ? 1 : 0;
    }
  }
  m_bBusy.store(0);
}

bool DownloadDataBase::RunUpdateAlone(const std::function<void()>& update) {
  {
    std::unique_lock lock(m_updateMutex);
    while (m_bMaintaining && !Stopping()) {
      m_updateEnded.wait_for(lock, kUpdateWaitStep);
    }
    if (m_bUpdating) {
      const uint64_t running = m_nUpdatesEnded;
      while (m_nUpdatesEnded == running && !Stopping()) {
        m_updateEnded.wait_for(lock, kUpdateWaitStep);
      }
      return false;
    }
    if (Stopping()) {
      return false;
    }
    m_bUpdating = true;
  }
  RunHolding(m_bUpdating, update);
  return true;
}

void DownloadDataBase::RunBetweenUpdates(const std::function<void()>& work) {
  {
    std::unique_lock lock(m_updateMutex);
    while ((m_bUpdating || m_bMaintaining) && !Stopping()) {
      m_updateEnded.wait_for(lock, kUpdateWaitStep);
    }
    if (Stopping()) {
      return;
    }
    m_bMaintaining = true;
  }
  RunHolding(m_bMaintaining, work);
}

void DownloadDataBase::RunHolding(bool& held, const std::function<void()>& work) {
  struct Release {
    DownloadDataBase& queue;
    bool& held;
    ~Release() {
      std::lock_guard lock(queue.m_updateMutex);
      held = false;
      if (&held == &queue.m_bUpdating) {
        ++queue.m_nUpdatesEnded;
      }
      queue.m_updateEnded.notify_all();
    }
  } release{*this, held};
  work();
}

int DownloadDataBase::Pending() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_urls.size());
}

std::string DownloadDataBase::StatusText() const {
  return "V=" + std::to_string(Pending()) + "&M=100";
}

}  // namespace qb
