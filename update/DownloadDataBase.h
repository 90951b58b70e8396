// The one download queue of the server: server URLs with a tag and optional
// callbacks, served strictly in order, one at a time, by RunQueue on the
// thread of the request that filled it. Text entries (a success callback and
// no ".ZIP" in the URL) are fetched into memory and handed to their callback;
// every other entry is a file saved in the data folder at the URL's path
// (fetched under that path plus kPartialSuffix and moved there once complete,
// so a failed download keeps the earlier file), unpacked next to itself and
// deleted when its URL contains ".ZIP".
//
// A URL is queued at most once between two Resets. A URL whose local path
// would leave the data folder is refused and counts as a failed file entry;
// an empty URL is dropped like a served entry. The status routes report the
// number of URLs still waiting (the one being served included).
//
// Thread contract: one instance in the application context, shared by every
// connection thread. The URL list and the entry map are guarded by m_mutex;
// the flags are atomics. m_bBusy lets a second RunQueue on another thread take
// turns with the first. Callbacks run on the worker's thread without the lock
// held, so they may Enqueue. A set stop flag (the context's m_bStop) makes
// RunQueue return promptly, aborting the transfer in progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "util/DiskBudget.h"

namespace qb {

class DownloadDataBase {
 public:
  // Called with the downloaded text; may add entries to `queue`.
  using SuccessCallback = void (*)(const std::string& url, const std::string& tag,
                                   const std::string& body, DownloadDataBase& queue);
  // Called when a text download failed (`body` is empty); `queue` is the queue
  // that ran it.
  using FailureCallback = void (*)(const std::string& url, const std::string& body,
                                   DownloadDataBase& queue);

  explicit DownloadDataBase(const std::atomic<int>* stop = nullptr) : m_pStop(stop) {}
  virtual ~DownloadDataBase() = default;
  DownloadDataBase(const DownloadDataBase&) = delete;
  DownloadDataBase& operator=(const DownloadDataBase&) = delete;

  // Forgets every URL, served or not. The flags stay. Returns the number of
  // Resets so far, this one included, so that a run can tell afterwards
  // whether another request emptied the queue under it.
  uint64_t Reset();
  uint64_t ResetCount() const;
  // Appends `url` unless it was queued since the last Reset.
  void Enqueue(const std::string& url, const std::string& tag, SuccessCallback onSuccess,
               FailureCallback onFailure);
  // Serves the queue until it is empty, m_bRunning is cleared or the stop
  // flag is set. Callers set m_bRunning and m_bAllSucceeded just before.
  void RunQueue();

  // Removes `url` from the head of the list (when it is still there), marks it
  // served and lets the next worker in; clears m_bRunning when the list is
  // empty.
  void CompleteFront(const std::string& url);
  // Hands `body` to the success callback of `url` unless it was served.
  void DeliverText(const std::string& url, const std::string& tag, const std::string& body);
  // Calls the failure callback of `url` (if any) unless it was served.
  void DeliverFailure(const std::string& url, const std::string& body);
  // Marks the file of `url` served; a ".ZIP" URL is unpacked next to itself
  // and deleted.
  void FinishFile(const std::string& url);

  // Records a failed entry: clears m_bAllSucceeded and counts the failure.
  // The count is never reset, so a run can tell whether anything failed while
  // it ran even when another request set m_bAllSucceeded again meanwhile.
  void MarkFailed();
  uint64_t FailureCount() const { return m_nFailures.load(); }
  // File entries fetched and saved (unpacked, for archives) since construction.
  uint64_t FileCount() const { return m_nFiles.load(); }

  // After an update: when every file download succeeded and the version check
  // left "New_verFile_DB.txt", it replaces "verFile_DB.txt".
  void CommitVersionFile();

  // Number of URLs still waiting, the one being served included.
  int Pending() const;
  // The status answer "V=<pending>&M=100".
  std::string StatusText() const;
  // True when the stop flag is set.
  bool Stopping() const { return m_pStop != nullptr && m_pStop->load() != 0; }
  const std::atomic<int>* StopFlag() const { return m_pStop; }

  // Where a file entry of `url` is saved; empty when it would leave the data
  // folder.
  static std::string LocalPath(const std::string& url);

  std::atomic<int> m_bRunning{1};
  std::atomic<int> m_bAllSucceeded{0};
  std::atomic<int> m_bBusy{0};
  std::atomic<uint64_t> m_nFailures{0};  // failed entries since construction
  std::atomic<uint64_t> m_nFiles{0};     // file entries served since construction

 private:
  struct Entry {
    std::string tag;
    bool done = false;
    SuccessCallback onSuccess = nullptr;
    FailureCallback onFailure = nullptr;
  };

  // A copy of the entry of `url` while it is queued and not yet served.
  std::optional<Entry> UnservedEntry(const std::string& url) const;
  // Fetches the head entry `url`; m_bBusy is held by this thread.
  void Serve(const std::string& url);

  const std::atomic<int>* m_pStop;
  mutable std::mutex m_mutex;  // guards m_urls, m_entries and m_nResets
  std::deque<std::string> m_urls;
  std::unordered_map<std::string, Entry> m_entries;
  uint64_t m_nResets = 0;
};

}  // namespace qb
