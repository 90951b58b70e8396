#include "server/CTaskBase.h"

namespace qb {

void TaskThreadProc(std::unique_ptr<CTaskBase> task) {
  if (!task || task->m_pMgr == nullptr) {
    return;
  }
  task->Run();
  if (task->m_pfnDone != nullptr) {
    task->m_pfnDone(task.get());
  }
}

}  // namespace qb
