// The save manager: owns the save lock that keeps a second save dialog from
// opening while one is open. The lock is held by SaveDocument from before the
// dialog opens until the document is written or dropped; a document arriving
// meanwhile (from the dialog's nested event loop) finds it held and is dropped.
//
// Thread contract: the lock is a binary semaphore, free of thread ownership;
// it is taken and released on the UI thread through std::unique_lock.
#pragma once

#include <semaphore>

namespace qb {

class CQxSaveMgr {
 public:
  CQxSaveMgr() = default;
  virtual ~CQxSaveMgr() = default;
  CQxSaveMgr(const CQxSaveMgr&) = delete;
  CQxSaveMgr& operator=(const CQxSaveMgr&) = delete;

  // Lockable interface of the save lock.
  void lock() { m_saveLock.acquire(); }
  bool try_lock() { return m_saveLock.try_acquire(); }
  void unlock() { m_saveLock.release(); }

 private:
  std::binary_semaphore m_saveLock{1};  // held while a document is being saved
};

}  // namespace qb
