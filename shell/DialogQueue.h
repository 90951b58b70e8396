// Shows the server's modal dialogs one at a time on the UI thread. A dialog
// runs a nested event loop, in which further work posted to the UI thread
// (another print job, another save, a prompt) is handled; work that would open
// a second dialog on top of the first is queued here instead and runs once the
// open dialog has closed, in arrival order. Nothing queued is dropped, except
// at shutdown, when each waiting item is told so through its `drop` call.
//
// Thread contract: created, used and deleted on the UI thread only.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>

namespace qb {

class DialogQueue {
 public:
  DialogQueue() = default;
  ~DialogQueue();
  DialogQueue(const DialogQueue&) = delete;
  DialogQueue& operator=(const DialogQueue&) = delete;

  // Runs `show` now when no dialog of this queue is open, else after the open
  // one and everything queued before it. After Stop(), or when the queue is
  // stopped before its turn, `drop` runs instead of `show`.
  void Run(std::function<void()> show, std::function<void()> drop);

  // Ends the queue: every waiting item is dropped now, later ones at once.
  // The dialog open at this moment (if any) finishes as its caller decides.
  void Stop();

  // True while a dialog of this queue is open.
  bool Busy() const { return m_bBusy; }
  // Number of items waiting for their turn.
  size_t Waiting() const { return m_waiting.size(); }

 private:
  struct Item {
    std::function<void()> show;
    std::function<void()> drop;
  };
  std::deque<Item> m_waiting;  // items not yet shown, in arrival order
  bool m_bBusy = false;        // an item's dialog is open
  bool m_bStopped = false;     // Stop() was called
};

}  // namespace qb
