#include "server/CSendTask.h"

#include "server/Dispatcher.h"
#include "server/RequestLog.h"
#include "server/SendData.h"
#include "util/ClientSocket.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr int kTooLargeLingerMs = 1000;  // time given to a sender of a too large request

const std::atomic<int>* StopFlag(const CTaskBase& task) {
  const CAppData* app = task.GetAppData();
  return app == nullptr ? nullptr : &app->m_bStop;
}

}  // namespace

void CSendTask::Run() {
  int lingerMs = 0;
  if (m_received == RequestReceiver::Outcome::kTooLarge) {
    LogDebug("request larger than allowed; answering the server error");
    SendData(m_socket.Get(), kServerErrorAnswer, StopFlag(*this));
    lingerMs = kTooLargeLingerMs;
  } else if (m_received == RequestReceiver::Outcome::kComplete) {
    CReqParse request;
    const bool parsed = request.Parse(m_request);
    std::string().swap(m_request);  // the parsed request holds what is needed
    if (parsed) {
      Dispatch(m_socket.Get(), &request);
    } else if (request.IsRejected()) {
      SendData(m_socket.Get(), kServerErrorAnswer, StopFlag(*this));
    }
  }
  CloseConnection(m_socket.Release(), lingerMs);
}

void CSendTask::Dispatch(int socket, const CReqParse* request) {
  const auto started = std::chrono::steady_clock::now();
  const ClientSocket client(socket);  // long statements stop when the client goes
  const std::string answer = BuildAnswer(IsStopped() ? nullptr : GetAppData(), request);
  SendData(socket, answer, StopFlag(*this));
  LogRequest(request, answer, started);
}

}  // namespace qb
