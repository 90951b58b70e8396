#include "server/CWorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>

namespace qb {
namespace {

// A task that blocks until released and records how many ran at once.
class GateTask : public CTaskBase {
 public:
  GateTask(CTaskMgr* mgr, std::atomic<int>* running, std::atomic<int>* peak,
           std::atomic<bool>* open, std::atomic<int>* done)
      : CTaskBase(mgr), m_running(running), m_peak(peak), m_open(open), m_done(done) {}
  void Run() override {
    const int now = ++*m_running;
    int peak = m_peak->load();
    while (now > peak && !m_peak->compare_exchange_weak(peak, now)) {
    }
    while (!m_open->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --*m_running;
    ++*m_done;
  }

 private:
  std::atomic<int>* m_running;
  std::atomic<int>* m_peak;
  std::atomic<bool>* m_open;
  std::atomic<int>* m_done;
};

TEST(CWorkerPoolConcurrency, RunsAtMostItsBoundAndEveryTaskBeforeShutdownReturns) {
  CAppData app;
  std::atomic<int> running{0}, peak{0}, done{0};
  std::atomic<bool> open{false};
  CWorkerPool pool(3);
  for (int i = 0; i < 3; ++i) {
    pool.Post(std::make_unique<GateTask>(&app.Tasks(), &running, &peak, &open, &done));
  }
  while (running.load() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Posting beyond the bound queues the task: every worker is held, so it
  // cannot start until one frees.
  pool.Post(std::make_unique<GateTask>(&app.Tasks(), &running, &peak, &open, &done));
  EXPECT_EQ(running.load(), 3);
  EXPECT_EQ(done.load(), 0);
  open.store(true);
  pool.Shutdown();
  EXPECT_EQ(done.load(), 4);
  EXPECT_LE(peak.load(), 3);
}

}  // namespace
}  // namespace qb
