// The server's one download queue: catalogue-server URLs queued by jobs
// (DownloadJob), fetched several at a time in queue order, each at most once
// while remembered. A text entry's answer goes to its success callback, in
// queue order; any other entry is saved as a file in the data folder.
// docs/download-queue.md describes the entries, jobs, ordering and transfers.
//
// Thread contract: one instance in the application context, shared by every
// connection thread; its state is guarded by m_mutex. The thread running a job
// drives the transfers or waits while another does. Callbacks run on the
// driving thread without the lock held (they may queue more); the queue owns
// a copy of each callback until its entry is served. A set stop flag,
// announced through NotifyStop, makes every wait return at once.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/DiskBudget.h"
#include "util/Mutex.h"
#include "util/Result.h"

namespace qb {

// Connections at once to the catalogue server over HTTP/1.1, like a browser's
// per-host limit.
inline constexpr size_t kMaxParallelDownloads = 6;
// Streams at once on the one connection when the catalogue server speaks
// HTTP/2.
inline constexpr size_t kMaxHttp2Streams = 32;
// Text answers fetched before their callbacks may run (in flight or arrived);
// bounds the memory answers waiting for their turn hold.
inline constexpr size_t kMaxTextAhead = 4;

class HttpTransfer;

class DownloadQueue;
class DownloadJob;

// Called with the downloaded text on the job that queued the URL; may queue
// more on it. What a callback captures is owned by the queue's copy of it, so
// it lives while the callback runs, also after the job has ended.
using DownloadSuccessCallback =
    std::function<void(const std::string& url, const std::string& body, DownloadJob& job)>;
// Called when a text download failed.
using DownloadFailureCallback = std::function<void(const std::string& url, DownloadJob& job)>;

// What became of the entries of one job.
struct DownloadTally {
  uint64_t files = 0;     // file entries fetched and saved (archives unpacked)
  uint64_t failures = 0;  // failed downloads and answers its callbacks could not use
  uint64_t refused = 0;   // entries not fetched: another origin or a file not to write
};

// A handle on one job of the queue, cheap to copy. Once the job is closed its
// operations do nothing.
class DownloadJob {
 public:
  DownloadJob(DownloadQueue& queue, uint64_t id) : m_queue(&queue), m_id(id) {}

  // Queues `url` for this job (see the queue's Enqueue).
  void Enqueue(const std::string& url, DownloadSuccessCallback onSuccess,
               DownloadFailureCallback onFailure, const std::string& savedAs = {}) const;
  // Counts a failure that no download reported (an answer that could not be
  // stored, a request that failed).
  void MarkFailed() const;
  bool Stopping() const;
  const std::atomic<bool>* StopFlag() const;
  DownloadQueue& Queue() const { return *m_queue; }
  uint64_t Id() const { return m_id; }

 private:
  DownloadQueue* m_queue;
  uint64_t m_id;
};

class DownloadQueue {
 public:
  using SuccessCallback = DownloadSuccessCallback;
  using FailureCallback = DownloadFailureCallback;

  explicit DownloadQueue(const std::atomic<bool>* stop = nullptr);
  ~DownloadQueue();
  DownloadQueue(const DownloadQueue&) = delete;
  DownloadQueue& operator=(const DownloadQueue&) = delete;

  // Opens a job. With `forgetServed`, URLs served for jobs that have ended are
  // forgotten first, so that they are fetched again when queued; entries some
  // open job still waits for, or has had served, are kept.
  DownloadJob OpenJob(bool forgetServed);
  // Serves the queue (every job's entries, in order; this thread drives the
  // transfers or waits while another does) until each entry of `job` has
  // been served or the stop flag is set. Returns the job's tally since it
  // was opened.
  DownloadTally RunJob(const DownloadJob& job);
  // Ends `job`: entries waiting only for it are dropped.
  void CloseJob(const DownloadJob& job);
  // The one call of a request that downloads: opens a job (as OpenJob), lets
  // `fill` queue its URLs on it, serves it (as RunJob) and closes it. Returns
  // its tally.
  DownloadTally Serve(bool forgetServed, const std::function<void(DownloadJob&)>& fill);

  // Appends `url` for `job` unless it is remembered: a URL still waiting gets
  // `job` as one more job waiting for it; a URL served since it was last
  // forgotten is left alone. A file entry is saved at the local path of
  // `savedAs` when given (the server path before its values were
  // percent-encoded into `url`), else at that of `url`.
  void Enqueue(const DownloadJob& job, const std::string& url, SuccessCallback onSuccess,
               FailureCallback onFailure, const std::string& savedAs = {});
  void MarkFailed(const DownloadJob& job);

  // Runs `update` on this thread unless an update runs already; then waits
  // for that one to end instead and returns false without running `update`.
  bool RunUpdateAlone(const std::function<void()>& update);
  // Runs `work` on this thread while no update runs, waiting for a running one
  // to end first (not when the server is stopping).
  void RunBetweenUpdates(const std::function<void()>& work);

  // Caps each file download at `bytesPerSecond` (0: no cap); the default is
  // kDefaultMaxDownloadRate. Applies to downloads started afterwards.
  void SetMaxDownloadRate(int64_t bytesPerSecond) { m_nMaxRate.store(bytesPerSecond); }

  // Number of URLs still waiting, those being served included.
  int Pending() const;
  // The status answer "V=<pending>&M=100".
  std::string StatusText() const;
  // True when the stop flag is set.
  bool Stopping() const { return m_pStop != nullptr && m_pStop->load(); }
  // Wakes every thread waiting on the queue and the transfers being driven,
  // so that a stop flag set before the call is noticed at once. Whoever sets
  // the flag calls it; any thread.
  void NotifyStop();
  const std::atomic<bool>* StopFlag() const { return m_pStop; }

  // Where a file entry of `url` is saved; fails, saying why, when it would
  // leave the data folder or is not a file the catalogue may place there.
  static Result<std::string> LocalPath(const std::string& url);

 private:
  enum class Outcome { kServed, kFile, kFailed, kRefused };
  struct Entry {
    bool done = false;
    bool inFlight = false;       // its transfer runs, or its answer waits for its turn
    SuccessCallback onSuccess;
    FailureCallback onFailure;
    std::vector<uint64_t> jobs;  // the open jobs that queued it; the first owns the callbacks
    std::string savedAs;         // server path of the local file; empty: the URL
    Outcome outcome = Outcome::kServed;  // once done: how it ended
    bool waitsForTurn = false;   // a text answer that arrived before its turn
  };
  // Counts `outcome` in the tally of one job.
  static void Count(DownloadTally& tally, Outcome outcome);
  // A transfer in progress, known to the driving thread only.
  struct Active {
    std::string url;
    std::string request;   // the URL fetched
    std::string local;     // file entries: where the file goes; empty: text entry
    std::unique_ptr<HttpTransfer> transfer;
  };

  // Drives the transfers while this thread holds the driving turn, until
  // `job` has nothing waiting (then hands the turn over, or first ends the
  // transfers in progress when nobody waits to take it), nothing can start,
  // or the server stops. False when it returned because nothing could start
  // while `job` still waits.
  bool Drive(const DownloadJob& job) EXCLUDES(m_mutex);
  // Takes the next entries that may start, in queue order, and starts them.
  // False when it took none.
  bool StartTransfers() EXCLUDES(m_mutex);
  // Starts the transfer of `url`; an entry that cannot start is completed.
  void Start(const std::string& url);
  // Handles a transfer curl has ended with `code`.
  void Finish(CURL* handle, CURLcode code);
  // Delivers what a transfer gave (its body, or why it failed) and completes
  // its entry; a text answer before its turn waits in m_early.
  void Ended(Active active, Result<std::string> result) EXCLUDES(m_mutex);
  // Runs the callback of a text entry whose transfer ended and completes it.
  void Deliver(const Active& active, const Result<std::string>& result) EXCLUDES(m_mutex);
  // Delivers the early answers whose turn has come: every entry before them
  // has been served.
  void DeliverInTurn() EXCLUDES(m_mutex);
  // Interrupts the driving thread's wait for its transfers, if one drives.
  void WakeDriver() REQUIRES(m_mutex);
  // Counts a change of the entries, the jobs or the stop and wakes the
  // threads waiting on m_changed.
  void NotifyChanged() REQUIRES(m_mutex);
  static bool IsTextEntry(const std::string& url, const Entry& entry);
  // Ends every transfer in progress as failed (the server is stopping).
  void AbortAll();
  // Removes `url` from the list, marks it served, tallies `outcome` for its
  // jobs and wakes the waiting threads.
  void Complete(const std::string& url, Outcome outcome) EXCLUDES(m_mutex);
  // Runs `work` while m_bUpdating (`updating`) or else m_bMaintaining is set
  // (by the caller, under m_updateMutex), then clears it and wakes the waiters.
  void RunHolding(bool updating, const std::function<void()>& work);
  // The job that owns the callbacks of `url`, while it is open and the entry
  // is not served.
  std::optional<DownloadJob> OwnerOf(const std::string& url, Entry* entry) EXCLUDES(m_mutex);

  const std::atomic<bool>* m_pStop;
  std::atomic<int64_t> m_nMaxRate;
  CURLM* const m_multi;  // set at construction; used only by the driving thread
  // Owned by the driving thread: transfers in progress by handle, kept
  // transfers ready for reuse.
  std::map<CURL*, Active> m_active;
  std::vector<std::unique_ptr<HttpTransfer>> m_idle;
  // Owned by the driving thread: text answers that arrived before their turn,
  // by URL, and how many transfers may run at once (more once the server has
  // answered over HTTP/2).
  struct Early {
    Active active;
    Result<std::string> result;
  };
  std::map<std::string, Early> m_early;
  size_t m_nSlots = kMaxParallelDownloads;

  mutable Mutex m_mutex;
  std::condition_variable m_changed;  // an entry ended, work came, or the turn is free
  bool m_bDriving GUARDED_BY(m_mutex) = false;  // a thread drives the transfers
  uint64_t m_nChanges GUARDED_BY(m_mutex) = 0;  // changes notified so far (NotifyChanged)
  size_t m_nInFlight GUARDED_BY(m_mutex) = 0;   // entries whose transfers run
  // Threads in RunJob waiting for the turn or their entries.
  int m_nWaiting GUARDED_BY(m_mutex) = 0;
  std::deque<std::string> m_urls GUARDED_BY(m_mutex);
  std::unordered_map<std::string, Entry> m_entries GUARDED_BY(m_mutex);
  struct JobState {
    int waiting = 0;  // its entries not yet served
    DownloadTally tally;
  };
  std::unordered_map<uint64_t, JobState> m_jobs GUARDED_BY(m_mutex);  // the open jobs
  uint64_t m_nextJob GUARDED_BY(m_mutex) = 1;

  Mutex m_updateMutex;
  std::condition_variable m_updateEnded;  // an update or maintenance work ended
  bool m_bUpdating GUARDED_BY(m_updateMutex) = false;    // an update runs
  bool m_bMaintaining GUARDED_BY(m_updateMutex) = false;  // work that must not meet an update runs
  uint64_t m_nUpdatesEnded GUARDED_BY(m_updateMutex) = 0;
};

// Opens a job on `queue` for one scope and closes it when the scope ends; for
// callers that serve a job in more than one run.
class ScopedDownloadJob {
 public:
  ScopedDownloadJob(DownloadQueue& queue, bool forgetServed)
      : m_job(queue.OpenJob(forgetServed)) {}
  ~ScopedDownloadJob() { m_job.Queue().CloseJob(m_job); }
  ScopedDownloadJob(const ScopedDownloadJob&) = delete;
  ScopedDownloadJob& operator=(const ScopedDownloadJob&) = delete;

  DownloadJob& Job() { return m_job; }
  DownloadTally Run() { return m_job.Queue().RunJob(m_job); }

 private:
  DownloadJob m_job;
};

}  // namespace qb
