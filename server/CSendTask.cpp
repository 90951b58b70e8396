#include "server/CSendTask.h"

#include <sys/socket.h>

#include <chrono>

#include "server/BrowserGuard.h"
#include "server/Dispatcher.h"
#include "server/RefusalLog.h"
#include "server/RequestLog.h"
#include "server/SendData.h"
#include "util/ClientSocket.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr int kTooLargeLingerMs = 1000;  // time given to a sender of a too large request

// Sends `data` on `socket` until done or the server stops.
void Send(const CTaskBase& task, int socket, std::string_view data) {
  CAppData* app = task.GetAppData();
  if (app == nullptr) {
    SendData(socket, data, nullptr);
  } else {
    SendData(socket, data, app->StopFlag(), app->StopNotifier().Fd());
  }
}

}  // namespace

std::unique_ptr<CSendTask> CSendTask::Answering(CTaskMgr* mgr, int socket,
                                                std::string_view answer,
                                                ConnectionLimits::Ticket ticket) {
  auto task = std::make_unique<CSendTask>(mgr, socket, RequestReceiver::Outcome::kNothing,
                                          std::string(), std::move(ticket));
  task->m_fixedAnswer = std::string(answer);
  return task;
}

std::optional<std::string> CSendTask::AnswerAtOnce(CAppData* app, int socket,
                                                   std::string_view request) {
  if (app == nullptr || !MightAnswerAtOnce(request)) {
    return std::nullopt;
  }
  const auto started = std::chrono::steady_clock::now();
  CReqParse parsed;
  if (!parsed.Parse(request) || !AnswersAtOnce(parsed) || OriginToAsk(*app, parsed)) {
    return std::nullopt;
  }
  const std::string answer = BuildAnswer(app, &parsed);
  const ssize_t sent = ::send(socket, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  LogRequest(&parsed, answer, started);
  if (sent >= 0 && static_cast<size_t>(sent) < answer.size()) {
    return answer.substr(static_cast<size_t>(sent));
  }
  // Sent whole, or the client has gone.
  CloseConnection(socket, 0);
  return std::string();
}

void CSendTask::Run() {
  int lingerMs = 0;
  if (m_fixedAnswer) {
    Send(*this, m_socket.Get(), *m_fixedAnswer);
  } else if (m_received == RequestReceiver::Outcome::kTooLarge) {
    LogDebug("request larger than allowed; answering the server error");
    Send(*this, m_socket.Get(), kServerErrorAnswer);
    lingerMs = kTooLargeLingerMs;
  } else if (m_received == RequestReceiver::Outcome::kComplete) {
    CReqParse request;
    const bool parsed = request.Parse(m_request);
    if (parsed && m_pGate && !IsStopped()) {
      if (const std::optional<std::string> origin = OriginToAsk(*GetAppData(), request)) {
        std::string_view refusal;
        if (WaitForAnswer(*origin, &refusal)) {
          return;
        }
        Send(*this, m_socket.Get(), refusal);
        CloseConnection(m_socket.Release(), 0);
        return;
      }
    }
    std::string().swap(m_request);  // the parsed request holds what is needed
    if (parsed) {
      Dispatch(m_socket.Get(), &request);
    } else if (request.IsRejected()) {
      Send(*this, m_socket.Get(), kServerErrorAnswer);
    }
  }
  CloseConnection(m_socket.Release(), lingerMs);
}

bool CSendTask::WaitForAnswer(const std::string& origin, std::string_view* refusal) {
  OriginGate::Held held{std::move(m_socket), std::move(m_request), std::move(m_ticket),
                        OriginGate::Clock::now()};
  const OriginGate::HoldResult result = m_pGate->Hold(origin, held);
  if (result == OriginGate::HoldResult::kRefused ||
      result == OriginGate::HoldResult::kNotAsking) {
    m_socket = std::move(held.socket);
    m_request = std::move(held.request);
    m_ticket = std::move(held.ticket);
    if (result == OriginGate::HoldResult::kRefused) {
      *refusal = kWaitingAnswer;
      Refusals().Log("waiting " + origin, "refused a request from origin \"" + origin +
                                              "\": too many requests wait for the user's "
                                              "answer about it");
    } else {
      *refusal = kForbiddenAnswer;
      // The pause or the stop was logged when it began.
      LogDebug("refused a request from origin \"" + origin + "\" without asking the user");
    }
    return false;
  }
  LogDebug("a request from origin \"" + origin + "\" waits for the user's answer");
  if (result == OriginGate::HoldResult::kAsk) {
    LogInfo("asking the user whether origin \"" + origin + "\" may use the server");
    // Without a window (only while shutting down) nobody answers: the
    // request waits until it expires or the server stops.
    if (CControlWindow* window = GetAppData()->ControlWindow()) {
      std::weak_ptr<OriginGate> gate = m_pGate;
      window->PostOriginQuestion(
          origin,
          [gate, origin] {
            const std::shared_ptr<OriginGate> open = gate.lock();
            return open && open->IsOpen(origin);
          },
          [gate, origin](OriginAnswer answer) {
            if (const std::shared_ptr<OriginGate> open = gate.lock()) {
              open->Answer(origin, answer);
            }
          });
    }
  }
  return true;
}

void CSendTask::Dispatch(int socket, const CReqParse* request) {
  const auto started = std::chrono::steady_clock::now();
  const ClientSocket client(socket);  // long statements stop when the client goes
  const std::string answer = BuildAnswer(IsStopped() ? nullptr : GetAppData(), request);
  Send(*this, socket, answer);
  LogRequest(request, answer, started);
}

}  // namespace qb
