// One connection whose request has arrived (received on the listener thread,
// see ConnectionListener): parses the request, writes one answer and closes the
// connection. A request from a web origin the user is to be asked about is
// handed to the origin gate instead, and the user is asked once per origin;
// the listener serves it again once the answer is in.
//
// Thread contract: runs on one worker thread, which owns the socket, the
// request bytes and the parsed request. The ticket gives the connection's
// share of the limits back when the task is destroyed, after the socket is
// closed.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "server/CReqParse.h"
#include "server/CTaskBase.h"
#include "server/ConnectionLimits.h"
#include "server/OriginGate.h"
#include "server/RequestReceiver.h"
#include "util/UniqueFd.h"

namespace qb {

class CSendTask : public CTaskBase {
 public:
  // `received` is kComplete with the request in `request`, or kTooLarge.
  // `gate` (may be null) holds requests that wait for the user's answer.
  CSendTask(CTaskMgr* mgr, int socket, RequestReceiver::Outcome received, std::string request,
            ConnectionLimits::Ticket ticket, std::shared_ptr<OriginGate> gate = nullptr)
      : CTaskBase(mgr),
        m_ticket(std::move(ticket)),
        m_socket(socket),
        m_received(received),
        m_request(std::move(request)),
        m_pGate(std::move(gate)) {}

  // A task that answers `answer` without reading the request.
  static std::unique_ptr<CSendTask> Answering(CTaskMgr* mgr, int socket, std::string_view answer,
                                              ConnectionLimits::Ticket ticket);

  // Answers `request` (received complete on `socket`) on the calling thread
  // when its route is answered at once (AnswersAtOnce) and no origin is to
  // be asked about: the answer is sent without waiting and the connection
  // closed. nullopt when it is not such a request: nothing was sent, and a
  // worker is to answer it. Else the part of the answer the socket had no
  // room for (empty: all sent and closed), which the caller must have a
  // worker send on `socket`.
  static std::optional<std::string> AnswerAtOnce(CAppData* app, int socket,
                                                 std::string_view request);

  void Run() override;

  // Writes the answer for `request` on `socket`.
  void Dispatch(int socket, const CReqParse* request);

 private:
  // Hands the connection to the gate while the user is asked about `origin`;
  // false when the gate refuses it (the connection is still ours, and
  // `refusal` is the answer to send).
  bool WaitForAnswer(const std::string& origin, std::string_view* refusal);

  ConnectionLimits::Ticket m_ticket;  // declared first: released last
  UniqueFd m_socket;
  RequestReceiver::Outcome m_received;
  std::string m_request;
  std::shared_ptr<OriginGate> m_pGate;
  std::optional<std::string> m_fixedAnswer;  // sent instead of an answer to the request
};

}  // namespace qb
