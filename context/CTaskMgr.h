// The link a task holds to reach the application context. It owns nothing.
//
// Thread contract: set once when the context is built; read from any thread.
#pragma once

namespace qb {

class CAppData;

class CTaskMgr {
 public:
  explicit CTaskMgr(CAppData* appData) : m_pAppData(appData) {}
  ~CTaskMgr() = default;

  CAppData* m_pAppData;  // not owned
};

}  // namespace qb
