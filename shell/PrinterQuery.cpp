#include "shell/PrinterQuery.h"

#include <utility>

namespace qb {

PrinterQuery::PrinterQuery(const PrinterDirectory* directory,
                           std::function<void(const Answer&)> answered)
    : m_pDirectory(directory), m_answered(std::move(answered)) {}

PrinterQuery::~PrinterQuery() {
  // The answer it posts is dropped with this object.
  if (m_worker.joinable()) {
    m_worker.join();
  }
}

void PrinterQuery::Ask() {
  if (m_pDirectory == nullptr) {
    return;
  }
  if (m_bAsking) {
    m_bAskAgain = true;
    return;
  }
  Start();
}

void PrinterQuery::Start() {
  if (m_worker.joinable()) {
    m_worker.join();  // its answer has arrived: the thread has ended or is ending
  }
  m_bAsking = true;
  m_bAskAgain = false;
  m_worker = std::thread([this] {
    Answer answer = m_pDirectory->Printers();
    QMetaObject::invokeMethod(
        this, [this, answer = std::move(answer)] { Answered(answer); }, Qt::QueuedConnection);
  });
}

void PrinterQuery::Answered(const Answer& answer) {
  m_bAsking = false;
  if (m_answered) {
    m_answered(answer);
  }
  if (m_bAskAgain) {
    Start();
  }
}

}  // namespace qb
