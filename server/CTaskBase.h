// Base of the listener task and the connection tasks: a unit of work run once
// on a worker thread, with a link to the application context.
//
// Thread contract: a task is created on one thread and handed whole to the
// thread that runs it (TaskThreadProc), which then owns and deletes it.
#pragma once

#include <memory>

#include "context/CAppData.h"
#include "context/CTaskMgr.h"

namespace qb {

class CTaskBase {
 public:
  explicit CTaskBase(CTaskMgr* mgr) : m_pMgr(mgr) {}
  virtual ~CTaskBase() = default;
  CTaskBase(const CTaskBase&) = delete;
  CTaskBase& operator=(const CTaskBase&) = delete;

  virtual void Run() = 0;

  // The context, or null when the task has no link.
  CAppData* GetAppData() const { return m_pMgr == nullptr ? nullptr : m_pMgr->m_pAppData; }
  // True when the task has no context or the context is stopping.
  bool IsStopped() const {
    const CAppData* app = GetAppData();
    return app == nullptr || app->IsStopping();
  }

  CTaskMgr* m_pMgr;                              // not owned
  void (*m_pfnDone)(CTaskBase*) = nullptr;       // called after Run(), may be null
  void* m_pDoneParam = nullptr;                  // data for m_pfnDone
};

// Runs `task` (when it has a link), calls its done function, and deletes it.
void TaskThreadProc(std::unique_ptr<CTaskBase> task);

}  // namespace qb
