// One connection whose request has arrived (received on the listener thread,
// see CMainTask): parses the request, writes one answer and closes the
// connection.
//
// Thread contract: runs on one worker thread, which owns the socket, the
// request bytes and the parsed request. The ticket gives the connection's
// share of the limits back when the task is destroyed, after the socket is
// closed.
#pragma once

#include <string>

#include "server/CReqParse.h"
#include "server/CTaskBase.h"
#include "server/ConnectionLimits.h"
#include "server/RequestReceiver.h"
#include "util/UniqueFd.h"

namespace qb {

class CSendTask : public CTaskBase {
 public:
  // `received` is kComplete with the request in `request`, or kTooLarge.
  CSendTask(CTaskMgr* mgr, int socket, RequestReceiver::Outcome received, std::string request,
            ConnectionLimits::Ticket ticket)
      : CTaskBase(mgr),
        m_ticket(std::move(ticket)),
        m_socket(socket),
        m_received(received),
        m_request(std::move(request)) {}

  void Run() override;

  // Writes the answer for `request` on `socket`.
  void Dispatch(int socket, const CReqParse* request);

 private:
  ConnectionLimits::Ticket m_ticket;  // declared first: released last
  UniqueFd m_socket;
  RequestReceiver::Outcome m_received;
  std::string m_request;
};

}  // namespace qb
