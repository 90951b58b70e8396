#include "server/CSendTask.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "server/Dispatcher.h"
#include "server/RequestFramer.h"
#include "server/RequestLog.h"
#include "server/SendData.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr int kPollMs = 100;             // the pause that ends a request without length
constexpr int kFirstByteWaitMs = 2200;   // how long a silent client is given
constexpr int kStallLimitMs = 30000;     // how long an announced body may stall
constexpr size_t kReadChunk = 64 * 1024;
constexpr int kTooLargeLingerMs = 1000;  // time given to a sender of a too large request

const std::atomic<int>* StopFlag(const CTaskBase& task) {
  const CAppData* app = task.GetAppData();
  return app == nullptr ? nullptr : &app->m_bStop;
}

}  // namespace

void CSendTask::Run() {
  std::string bytes;
  const RecvStatus status = RecvRequest(&bytes);
  int lingerMs = 0;
  if (status == RecvStatus::kTooLarge) {
    LogDebug("request larger than allowed; answering the server error");
    SendData(m_socket.Get(), kServerErrorAnswer, StopFlag(*this));
    lingerMs = kTooLargeLingerMs;
  } else if (status == RecvStatus::kComplete) {
    CReqParse request;
    const bool parsed = request.Parse(bytes);
    std::string().swap(bytes);  // the parsed request holds what is needed
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
  const std::string answer = BuildAnswer(IsStopped() ? nullptr : GetAppData(), request);
  SendData(socket, answer, StopFlag(*this));
  LogRequest(request, answer, started);
}

CSendTask::RecvStatus CSendTask::RecvRequest(std::string* request) {
  request->clear();
  if (IsStopped() || !SetNonBlocking(m_socket.Get())) {
    return RecvStatus::kNothing;
  }
  RequestFramer framer;
  RequestFrame frame;
  frame.pauseEnds = true;
  int idleMs = 0;
  while (!IsStopped()) {
    pollfd pfd{m_socket.Get(), POLLIN, 0};
    const int ready = ::poll(&pfd, 1, kPollMs);
    if (ready < 0 && errno != EINTR) {
      return RecvStatus::kNothing;
    }
    if (ready == 0) {
      idleMs += kPollMs;
      if (request->empty()) {
        if (idleMs >= kFirstByteWaitMs) {
          return RecvStatus::kNothing;
        }
      } else if (frame.pauseEnds) {
        return RecvStatus::kComplete;
      } else if (idleMs >= kStallLimitMs) {
        LogDebug("sender stalled with more announced; dropping the connection");
        return RecvStatus::kNothing;
      }
      continue;
    }

    bool closed = false;
    bool failed = false;
    char chunk[kReadChunk];
    for (;;) {
      const ssize_t n = ::recv(m_socket.Get(), chunk, sizeof chunk, 0);
      if (n > 0) {
        request->append(chunk, static_cast<size_t>(n));
        idleMs = 0;
        if (request->size() > kMaxRequestBytes) {
          break;  // the framer reports it
        }
        continue;
      }
      if (n == 0) {
        closed = true;
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        failed = true;
      }
      break;
    }

    frame = framer.Update(*request);
    switch (frame.state) {
      case RequestFrame::State::kTooLarge:
        return RecvStatus::kTooLarge;
      case RequestFrame::State::kComplete:
        request->resize(frame.size);
        return RecvStatus::kComplete;
      case RequestFrame::State::kNeedMore:
        if (frame.expected > request->capacity()) {
          request->reserve(frame.expected);  // one allocation for an announced body
        }
        break;
    }
    if (closed || failed) {
      // The sender is gone: what arrived is the request, unless it announced
      // more than it sent.
      return (!request->empty() && frame.pauseEnds) ? RecvStatus::kComplete : RecvStatus::kNothing;
    }
  }
  return RecvStatus::kNothing;
}

}  // namespace qb
