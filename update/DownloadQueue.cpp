#include "update/DownloadQueue.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <unordered_set>

#include <unistd.h>

#include "update/HttpTransfer.h"
#include "update/UnpackedArchive.h"
#include "util/CatalogueUrl.h"
#include "util/FileHelpers.h"
#include "util/Log.h"
#include "util/MutexLock.h"
#include "util/SafePath.h"
#include "util/Text.h"
#include "util/ServedFiles.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// The longest wait for transfers when curl names no time of its own; it
// always does while a transfer runs (the connect and stall limits), so this
// only guards against a transfer it forgot.
constexpr long kLongestPollMs = 1000;

CURLM* NewMulti() {
  HttpTransfer::Init();
  CURLM* multi = curl_multi_init();
  if (multi != nullptr) {
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                      static_cast<long>(kMaxParallelDownloads));
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS,
                      static_cast<long>(kMaxParallelDownloads));
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kMaxParallelDownloads));
    curl_multi_setopt(multi, CURLMOPT_MAX_CONCURRENT_STREAMS, static_cast<long>(kMaxHttp2Streams));
  }
  return multi;
}

}  // namespace

DownloadQueue::DownloadQueue(const std::atomic<bool>* stop)
    : m_pStop(stop), m_nMaxRate(kDefaultMaxDownloadRate), m_multi(NewMulti()) {}

DownloadQueue::~DownloadQueue() {
  for (auto& [handle, active] : m_active) {
    curl_multi_remove_handle(m_multi, handle);
  }
  m_active.clear();
  m_idle.clear();
  if (m_multi != nullptr) {
    curl_multi_cleanup(m_multi);
  }
}

bool DownloadQueue::IsTextEntry(const std::string& url, const Entry& entry) {
  return entry.onSuccess && !IsArchivePath(entry.savedAs.empty() ? url : entry.savedAs);
}

void DownloadJob::Enqueue(const std::string& url, DownloadSuccessCallback onSuccess,
                          DownloadFailureCallback onFailure, const std::string& savedAs) const {
  m_queue->Enqueue(*this, url, std::move(onSuccess), std::move(onFailure), savedAs);
}

void DownloadJob::MarkFailed() const { m_queue->MarkFailed(*this); }

bool DownloadJob::Stopping() const { return m_queue->Stopping(); }

const std::atomic<bool>* DownloadJob::StopFlag() const { return m_queue->StopFlag(); }

DownloadJob DownloadQueue::OpenJob(bool forgetServed) {
  MutexLock lock(m_mutex);
  if (forgetServed) {
    std::erase_if(m_entries, [](const auto& item) {
      return item.second.done && item.second.jobs.empty();
    });
  }
  const uint64_t id = m_nextJob++;
  m_jobs.emplace(id, JobState{});
  return DownloadJob(*this, id);
}

void DownloadQueue::CloseJob(const DownloadJob& job) {
  MutexLock lock(m_mutex);
  m_jobs.erase(job.Id());
  NotifyChanged();  // the list may have emptied
  // A waiting entry nobody waits for any more goes, unless it is being served
  // right now: its server completes it.
  std::unordered_set<std::string> dropped;
  for (auto& [url, entry] : m_entries) {
    std::erase(entry.jobs, job.Id());
    if (!entry.done && entry.jobs.empty() && !entry.inFlight) {
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

void DownloadQueue::Enqueue(const DownloadJob& job, const std::string& url,
                            SuccessCallback onSuccess, FailureCallback onFailure,
                            const std::string& savedAs) {
  if (url.empty()) {
    return;  // names no file
  }
  MutexLock lock(m_mutex);
  const auto state = m_jobs.find(job.Id());
  if (state == m_jobs.end()) {
    return;
  }
  const auto known = m_entries.find(url);
  if (known != m_entries.end()) {
    Entry& entry = known->second;
    if (std::find(entry.jobs.begin(), entry.jobs.end(), job.Id()) == entry.jobs.end()) {
      entry.jobs.push_back(job.Id());
      // An entry another job has finished counts for this one as it ended:
      // fetched once, counted for every job that wants it.
      if (entry.done) {
        Count(state->second.tally, entry.outcome);
      } else {
        ++state->second.waiting;
      }
    }
    return;
  }
  m_urls.push_back(url);
  m_entries.emplace(url, Entry{false, false, std::move(onSuccess), std::move(onFailure),
                               {job.Id()}, savedAs});
  ++state->second.waiting;
  NotifyChanged();
  WakeDriver();  // the driving thread may start it now
}

void DownloadQueue::MarkFailed(const DownloadJob& job) {
  MutexLock lock(m_mutex);
  const auto state = m_jobs.find(job.Id());
  if (state != m_jobs.end()) {
    ++state->second.tally.failures;
  }
}

DownloadTally DownloadQueue::RunJob(const DownloadJob& job) {
  MutexLock lock(m_mutex);
  for (;;) {
    const auto state = m_jobs.find(job.Id());
    if (state == m_jobs.end()) {
      return {};
    }
    const bool done = state->second.waiting == 0 || m_urls.empty();
    // A job that is done still ends the transfers in progress when no other
    // thread drives or waits to: they may be a job's whose thread is away.
    if (Stopping() || (done && (m_bDriving || m_nInFlight == 0 || m_nWaiting > 0))) {
      return state->second.tally;
    }
    if (!m_bDriving) {
      m_bDriving = true;
      const uint64_t changes = m_nChanges;
      lock.Unlock();
      const bool stalled = !Drive(job);
      lock.Lock();
      m_bDriving = false;
      m_changed.notify_all();
      if (!stalled || m_nChanges != changes) {
        continue;
      }
      // Nothing could start and nothing changed since: wait for a change
      // rather than try again at once.
    }
    // A driver whose own job is done hands the transfers over to a waiting
    // thread: tell it one waits now.
    if (m_nWaiting++ == 0) {
      WakeDriver();
    }
    lock.Wait(m_changed);
    --m_nWaiting;
  }
}

DownloadTally DownloadQueue::Serve(bool forgetServed,
                                  const std::function<void(DownloadJob&)>& fill) {
  ScopedDownloadJob job(*this, forgetServed);
  fill(job.Job());
  return job.Run();
}

void DownloadQueue::NotifyChanged() {
  ++m_nChanges;
  m_changed.notify_all();
}

void DownloadQueue::WakeDriver() {
  if (m_bDriving && m_multi != nullptr) {
    curl_multi_wakeup(m_multi);
  }
}

void DownloadQueue::NotifyStop() {
  {
    MutexLock lock(m_mutex);
    NotifyChanged();
    WakeDriver();
  }
  MutexLock lock(m_updateMutex);
  m_updateEnded.notify_all();
}

bool DownloadQueue::Drive(const DownloadJob& job) {
  for (;;) {
    if (Stopping()) {
      AbortAll();
      return true;
    }
    DeliverInTurn();
    bool jobDone = true;
    bool othersWait = false;
    {
      MutexLock lock(m_mutex);
      const auto state = m_jobs.find(job.Id());
      jobDone = state == m_jobs.end() || state->second.waiting == 0;
      othersWait = m_nWaiting > 0;
    }
    if (jobDone && (m_active.empty() || othersWait)) {
      return true;  // a waiting thread takes the transfers in progress over
    }
    const bool started = !jobDone && StartTransfers();
    if (m_active.empty()) {
      const size_t early = m_early.size();
      DeliverInTurn();
      if (started || m_early.size() != early) {
        continue;  // what it took ended at once (refused, dropped), or answers came in turn
      }
      return false;  // nothing can start now
    }
    int running = 0;
    curl_multi_perform(m_multi, &running);
    bool ended = false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
      if (message->msg == CURLMSG_DONE) {
        // Finish may run a callback that queues more, but it never touches
        // the message queue being read.
        Finish(message->easy_handle, message->data.result);
        ended = true;
      }
    }
    if (!ended && !m_active.empty()) {
      // Until a socket is ready, curl's next timer is due, or another thread
      // wakes the driver (new work, a thread waiting for the turn, a stop).
      long timeout = -1;
      curl_multi_timeout(m_multi, &timeout);
      const long wait = timeout < 0 || timeout > kLongestPollMs ? kLongestPollMs : timeout;
      curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(wait), nullptr);
    }
  }
}

bool DownloadQueue::StartTransfers() {
  size_t textAhead = m_early.size();
  for (const auto& item : m_active) {
    textAhead += item.second.local.empty() ? 1 : 0;
  }
  std::vector<std::string> picked;
  {
    MutexLock lock(m_mutex);
    size_t slots = m_nSlots - std::min(m_active.size(), m_nSlots);
    for (const std::string& url : m_urls) {
      if (slots == 0) {
        break;
      }
      Entry& entry = m_entries.at(url);
      if (entry.inFlight) {
        continue;
      }
      if (IsTextEntry(url, entry)) {
        // Nothing overtakes a text entry held back by the limit; the first
        // waiting entry always starts, as the answers ahead wait for it.
        if (textAhead >= kMaxTextAhead && url != m_urls.front()) {
          break;
        }
        ++textAhead;
      }
      entry.inFlight = true;
      ++m_nInFlight;
      picked.push_back(url);
      --slots;
    }
  }
  for (const std::string& url : picked) {
    Start(url);
  }
  return !picked.empty();
}

void DownloadQueue::Start(const std::string& url) {
  Entry entry;
  if (!OwnerOf(url, &entry)) {
    // Dropped since it was taken from the list: nobody waits for it.
    Complete(url, Outcome::kServed);
    return;
  }
  Active active;
  active.url = url;
  const Result<std::string> request = CatalogueRequestUrl(url);
  if (!request) {
    LogError("refused to download " + url + ": " + request.Error());
    Complete(url, Outcome::kRefused);
    return;
  }
  active.request = *request;
  const bool text = IsTextEntry(url, entry);
  if (!text) {
    const Result<std::string> local = LocalPath(entry.savedAs.empty() ? url : entry.savedAs);
    if (!local) {
      LogError("refused to download " + url + ": " + local.Error());
      Complete(url, Outcome::kRefused);
      return;
    }
    active.local = *local;
    const std::string folder = DirectoryPart(active.local);
    if (!DirectoryExists(folder)) {
      CreateDirectories(folder);
    }
  }
  if (m_idle.empty()) {
    active.transfer = std::make_unique<HttpTransfer>();
  } else {
    active.transfer = std::move(m_idle.back());
    m_idle.pop_back();
  }
  // A file is fetched beside its place and moved there once complete: a
  // failed or interrupted download keeps the earlier file and leaves no
  // partial one that would pass for complete.
  const std::string partial = active.local + kPartialSuffix;
  Result<> prepared = active.transfer->Prepare(active.request, text ? nullptr : &partial,
                                               m_nMaxRate.load(), m_pStop);
  if (prepared && curl_multi_add_handle(m_multi, active.transfer->Handle()) != CURLM_OK) {
    prepared = Failure{"cannot start the transfer"};
  }
  if (!prepared) {
    m_idle.push_back(std::move(active.transfer));
    Ended(std::move(active), Failure{prepared.Error()});
    return;
  }
  CURL* handle = active.transfer->Handle();
  m_active.emplace(handle, std::move(active));
}

void DownloadQueue::Finish(CURL* handle, CURLcode code) {
  auto node = m_active.extract(handle);
  if (node.empty()) {
    return;
  }
  curl_multi_remove_handle(m_multi, handle);
  Active& active = node.mapped();
  Result<std::string> result = active.transfer->Finish(code);
  long version = 0;
  if (result && curl_easy_getinfo(handle, CURLINFO_HTTP_VERSION, &version) == CURLE_OK &&
      version != CURL_HTTP_VERSION_NONE) {
    // How the server answers decides how many transfers share it.
    m_nSlots = version >= CURL_HTTP_VERSION_2_0 ? kMaxHttp2Streams : kMaxParallelDownloads;
  }
  m_idle.push_back(std::move(active.transfer));
  Ended(std::move(active), std::move(result));
}

void DownloadQueue::Ended(Active active, Result<std::string> result) {
  if (active.local.empty()) {
    bool inTurn = false;
    {
      MutexLock lock(m_mutex);
      inTurn = !m_urls.empty() && m_urls.front() == active.url;
      const auto known = m_entries.find(active.url);
      if (!inTurn && known != m_entries.end()) {
        // Not started again nor dropped until it is delivered, but no longer
        // a transfer in progress.
        known->second.waitsForTurn = true;
        --m_nInFlight;
      }
    }
    if (!inTurn) {
      std::string url = active.url;
      m_early.emplace(std::move(url), Early{std::move(active), std::move(result)});
      return;
    }
    Deliver(active, result);
    DeliverInTurn();
    return;
  }
  const std::string& url = active.url;
  const std::string partial = active.local + kPartialSuffix;
  const bool archive = IsArchivePath(active.local);
  if (!result || std::rename(partial.c_str(), active.local.c_str()) != 0) {
    ::unlink(partial.c_str());
    if (archive) {
      ForgetUnpacked(active.local);  // fetched again by the next run
    }
    if (!Stopping()) {
      LogError("download failed: " + active.request + ": " +
               (result ? "cannot move it into place" : result.Error()));
    }
    Complete(url, Outcome::kFailed);
    return;
  }
  if (archive) {
    if (const Result<> unpacked = UnpackArchive(active.local); !unpacked) {
      LogError("download failed: " + active.request + ": cannot unpack the archive: " + unpacked.Error());
      Complete(url, Outcome::kFailed);
      return;
    }
  }
  Complete(url, Outcome::kFile);
}

void DownloadQueue::Deliver(const Active& active, const Result<std::string>& result) {
  const std::string& url = active.url;
  Entry entry;
  // The owner may have closed meanwhile (the server is stopping).
  std::optional<DownloadJob> owner = OwnerOf(url, &entry);
  if (result) {
    if (owner) {
      entry.onSuccess(url, *result, *owner);
    }
  } else {
    if (!Stopping()) {
      LogError("download failed: " + active.request + ": " + result.Error());
    }
    if (owner && entry.onFailure) {
      entry.onFailure(url, *owner);
    }
  }
  Complete(url, Outcome::kServed);
}

void DownloadQueue::DeliverInTurn() {
  while (!m_early.empty()) {
    std::string first;
    {
      MutexLock lock(m_mutex);
      if (m_urls.empty()) {
        return;
      }
      first = m_urls.front();
    }
    auto node = m_early.extract(first);
    if (node.empty()) {
      return;  // the first entry is not served yet
    }
    Deliver(node.mapped().active, node.mapped().result);
  }
}

void DownloadQueue::AbortAll() {
  while (!m_active.empty()) {
    Finish(m_active.begin()->first, CURLE_ABORTED_BY_CALLBACK);
  }
  // Answers waiting for their turn are dropped: nobody may act on them now.
  while (!m_early.empty()) {
    auto node = m_early.extract(m_early.begin());
    Complete(node.key(), Outcome::kServed);
  }
}

std::optional<DownloadJob> DownloadQueue::OwnerOf(const std::string& url, Entry* entry) {
  MutexLock lock(m_mutex);
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

Result<std::string> DownloadQueue::LocalPath(const std::string& url) {
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
    return Failure{"the path leaves the data folder"};
  }
  std::string refusal =
      ServedFileRefusal(std::filesystem::path(*path).lexically_relative(root).string());
  if (!refusal.empty()) {
    return Failure{std::move(refusal)};
  }
  return *path;
}

void DownloadQueue::Complete(const std::string& url, Outcome outcome) {
  MutexLock lock(m_mutex);
  const auto listed = std::find(m_urls.begin(), m_urls.end(), url);
  if (listed != m_urls.end()) {
    m_urls.erase(listed);
  }
  const auto known = m_entries.find(url);
  if (known != m_entries.end()) {
    if (known->second.inFlight) {
      known->second.inFlight = false;
      if (!known->second.waitsForTurn) {
        --m_nInFlight;
      }
      known->second.waitsForTurn = false;
    }
    if (!known->second.done) {
      known->second.done = true;
      known->second.outcome = outcome;
      for (const uint64_t id : known->second.jobs) {
        const auto state = m_jobs.find(id);
        if (state == m_jobs.end()) {
          continue;
        }
        --state->second.waiting;
        Count(state->second.tally, outcome);
      }
    }
  }
  NotifyChanged();
}

void DownloadQueue::Count(DownloadTally& tally, Outcome outcome) {
  tally.files += outcome == Outcome::kFile ? 1 : 0;
  tally.failures += outcome == Outcome::kFailed ? 1 : 0;
  tally.refused += outcome == Outcome::kRefused ? 1 : 0;
}

bool DownloadQueue::RunUpdateAlone(const std::function<void()>& update) {
  {
    MutexLock lock(m_updateMutex);
    lock.Wait(m_updateEnded, [this]() REQUIRES(m_updateMutex) { return !m_bMaintaining || Stopping(); });
    if (m_bUpdating) {
      const uint64_t running = m_nUpdatesEnded;
      lock.Wait(m_updateEnded, [&]() REQUIRES(m_updateMutex) { return m_nUpdatesEnded != running || Stopping(); });
      return false;
    }
    if (Stopping()) {
      return false;
    }
    m_bUpdating = true;
  }
  RunHolding(true, update);
  return true;
}

void DownloadQueue::RunBetweenUpdates(const std::function<void()>& work) {
  {
    MutexLock lock(m_updateMutex);
    lock.Wait(m_updateEnded, [this]() REQUIRES(m_updateMutex) { return !(m_bUpdating || m_bMaintaining) || Stopping(); });
    if (Stopping()) {
      return;
    }
    m_bMaintaining = true;
  }
  RunHolding(false, work);
}

void DownloadQueue::RunHolding(bool updating, const std::function<void()>& work) {
  struct Release {
    DownloadQueue& queue;
    bool updating;
    ~Release() {
      MutexLock lock(queue.m_updateMutex);
      (updating ? queue.m_bUpdating : queue.m_bMaintaining) = false;
      if (updating) {
        ++queue.m_nUpdatesEnded;
      }
      queue.m_updateEnded.notify_all();
    }
  } release{*this, updating};
  work();
}

int DownloadQueue::Pending() const {
  MutexLock lock(m_mutex);
  return static_cast<int>(m_urls.size());
}

std::string DownloadQueue::StatusText() const {
  return "V=" + std::to_string(Pending()) + "&M=100";
}

}  // namespace qb
