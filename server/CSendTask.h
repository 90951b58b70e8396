// One accepted connection: receives one request, parses it, writes one answer
// and closes the connection.
//
// Thread contract: runs on one worker thread, which owns the socket, the
// received bytes and the parsed request.
#pragma once

#include <string>

#include "server/CReqParse.h"
#include "server/CTaskBase.h"
#include "util/UniqueFd.h"

namespace qb {

class CSendTask : public CTaskBase {
 public:
  enum class RecvStatus {
    kNothing,   // nothing usable arrived: close without an answer
    kComplete,  // a request is in
    kTooLarge,  // the request is larger than allowed: answer the server error
  };

  CSendTask(CTaskMgr* mgr, int socket) : CTaskBase(mgr), m_socket(socket) {}

  void Run() override;

  // Receives one request on m_socket into `request`. A request is complete when
  // its header block and announced body are in; without an announced length,
  // when the sender pauses for 100 ms. Nothing within about 2.2 s, a sender
  // that stalls for 30 s with more announced, or an error gives kNothing.
  RecvStatus RecvRequest(std::string* request);

  // Writes the answer for `request` on `socket`.
  void Dispatch(int socket, const CReqParse* request);

 private:
  UniqueFd m_socket;
};

}  // namespace qb
