// A small HTTP server on a free loopback port for client tests: fixed answers
// by request target, one connection at a time, and a record of the targets
// and user agents it received.
//
// Thread contract: Answer is called before the requests it concerns; the
// record is read after them. The serving thread is joined by the destructor.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qbtest {

class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  // "http://127.0.0.1:<port>".
  std::string BaseUrl() const;
  // Answers GET `target` (path with query, as sent) with `status` and `body`;
  // `extraHeaders` are whole header lines ending in "\r\n". Unknown targets
  // get 404.
  void Answer(const std::string& target, int status, const std::string& body,
              const std::string& extraHeaders = "");
  // Answers GET `target` with status 200 and `bytes` bytes of "x", written as
  // they go (never held whole), with a Content-Length when `announce`, else
  // ended by closing. Writing stops when the client goes away.
  void AnswerStreamed(const std::string& target, size_t bytes, bool announce);
  // Body bytes written for streamed answers so far.
  size_t StreamedBytes() const { return m_streamed.load(); }
  // Targets received so far, in order.
  std::vector<std::string> Targets() const;
  // User-Agent of the last request.
  std::string LastAgent() const;

 private:
  struct Canned {
    int status;
    std::string body;
    std::string headers;
    size_t streamed = 0;  // AnswerStreamed: body bytes to generate
    bool announce = false;
  };
  void Serve();
  void Handle(int fd);

  int m_listenFd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<size_t> m_streamed{0};
  mutable std::mutex m_mutex;  // guards m_answers, m_targets and m_agent
  std::map<std::string, Canned> m_answers;
  std::vector<std::string> m_targets;
  std::string m_agent;
  std::thread m_thread;
};

}  // namespace qbtest
