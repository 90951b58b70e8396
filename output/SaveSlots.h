// The save manager: owns the save lock that keeps a second save dialog from
// opening while one is open. The lock is held by SaveDocument from before the
// dialog opens until the document is written or dropped. The control window
// queues documents that arrive while a dialog is open (DialogQueue), so none
// meets the held lock there; a caller that does not is refused, and the
// document is dropped with an error in the log.
//
// Thread contract: the lock is a binary semaphore, free of thread ownership;
// it is taken and released on the UI thread through std::unique_lock.
#pragma once

#include <semaphore>

namespace qb {

class SaveSlots {
 public:
  SaveSlots() = default;
  ~SaveSlots() = default;
  SaveSlots(const SaveSlots&) = delete;
  SaveSlots& operator=(const SaveSlots&) = delete;

  // Lockable interface of the save lock.
  void lock() { m_saveLock.acquire(); }
  bool try_lock() { return m_saveLock.try_acquire(); }
  void unlock() { m_saveLock.release(); }

 private:
  std::binary_semaphore m_saveLock{1};  // held while a document is being saved
};

}  // namespace qb
