#include "shell/DialogQueue.h"

#include <utility>

namespace qb {

DialogQueue::~DialogQueue() { Stop(); }

void DialogQueue::Run(std::function<void()> show, std::function<void()> drop) {
  if (m_bStopped) {
    if (drop) {
      drop();
    }
    return;
  }
  m_waiting.push_back(Item{std::move(show), std::move(drop)});
  if (m_bBusy) {
    return;  // the loop below, further up the stack, takes it in turn
  }
  while (!m_waiting.empty() && !m_bStopped) {
    Item item = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_bBusy = true;
    if (item.show) {
      item.show();
    }
    m_bBusy = false;
  }
}

void DialogQueue::Stop() {
  m_bStopped = true;
  while (!m_waiting.empty()) {
    Item item = std::move(m_waiting.front());
    m_waiting.pop_front();
    if (item.drop) {
      item.drop();
    }
  }
}

}  // namespace qb
