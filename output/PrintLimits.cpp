#include "output/PrintLimits.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace qb {
namespace {

std::atomic<size_t> g_storedPageBytes{0};

// The decode threads, started on first use and joined at exit.
class Decoders {
 public:
  Decoders() {
    for (int i = 0; i < kMaxParallelDecodes; ++i) {
      m_threads.emplace_back([this] { Loop(); });
    }
  }
  ~Decoders() {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_ready.notify_all();
    for (std::thread& thread : m_threads) {
      thread.join();
    }
  }

  void Run(const std::function<void()>& decode) {
    std::packaged_task<void()> task(decode);
    std::future<void> done = task.get_future();
    {
      std::lock_guard lock(m_mutex);
      m_tasks.push_back(std::move(task));
    }
    m_ready.notify_one();
    done.get();
  }

 private:
  void Loop() {
    // Lowering the priority of this thread only; nothing else runs on it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kDecodeNice);
    for (;;) {
      std::packaged_task<void()> task;
      {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_tasks.empty()) {
          return;
        }
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
      }
      task();
    }
  }

  std::mutex m_mutex;  // guards m_tasks and m_stopping
  std::condition_variable m_ready;
  std::deque<std::packaged_task<void()>> m_tasks;
  bool m_stopping = false;
  std::vector<std::thread> m_threads;
};

}  // namespace

std::chrono::seconds PrintSessionIdleLimit() {
  static const std::chrono::seconds limit = [] {
    if (const char* text = std::getenv("QUILLBOX_PRINT_IDLE_SECONDS")) {
      char* end = nullptr;
      const long value = std::strtol(text, &end, 10);
      if (end != text && *end == '\0' && value > 0) {
        return std::chrono::seconds(value);
      }
    }
    return kDefaultSessionIdleLimit;
  }();
  return limit;
}

bool ReservePageBytes(size_t bytes) {
  size_t stored = g_storedPageBytes.load();
  do {
    if (bytes > kMaxStoredPageBytes - stored) {
      return false;
    }
  } while (!g_storedPageBytes.compare_exchange_weak(stored, stored + bytes));
  return true;
}

void ReleasePageBytes(size_t bytes) { g_storedPageBytes.fetch_sub(bytes); }

size_t StoredPageBytes() { return g_storedPageBytes.load(); }

void RunDecode(const std::function<void()>& decode) {
  static Decoders decoders;
  decoders.Run(decode);
}

}  // namespace qb
