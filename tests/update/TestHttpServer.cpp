#include "update/TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace qbtest {

TestHttpServer::TestHttpServer() {
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(m_listenFd, 16);
  socklen_t length = sizeof address;
  ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
  m_stop = true;
  m_thread.join();
  ::close(m_listenFd);
}

std::string TestHttpServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(m_port);
}

void TestHttpServer::Answer(const std::string& target, int status, const std::string& body,
                            const std::string& extraHeaders) {
  std::lock_guard lock(m_mutex);
  m_answers[target] = Canned{status, body, extraHeaders};
}

void TestHttpServer::AnswerStreamed(const std::string& target, size_t bytes, bool announce) {
  std::lock_guard lock(m_mutex);
  m_answers[target] = Canned{200, "", "", bytes, announce};
}

std::vector<std::string> TestHttpServer::Targets() const {
  std::lock_guard lock(m_mutex);
  return m_targets;
}

std::string TestHttpServer::LastAgent() const {
  std::lock_guard lock(m_mutex);
  return m_agent;
}

void TestHttpServer::Serve() {
  while (!m_stop) {
    pollfd pfd{m_listenFd, POLLIN, 0};
    if (::poll(&pfd, 1, 20) <= 0) {
      continue;
    }
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      Handle(fd);
      ::close(fd);
    }
  }
}

void TestHttpServer::Handle(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      return;
    }
    request.append(buffer, static_cast<size_t>(n));
  }
  const size_t space = request.find(' ');
  const std::string target = request.substr(space + 1, request.find(' ', space + 1) - space - 1);
  std::string agent;
  const size_t agentAt = request.find("User-Agent: ");
  if (agentAt != std::string::npos) {
    agent = request.substr(agentAt + 12, request.find("\r\n", agentAt) - agentAt - 12);
  }
  Canned canned{404, "", ""};
  {
    std::lock_guard lock(m_mutex);
    m_targets.push_back(target);
    m_agent = agent;
    const auto found = m_answers.find(target);
    if (found != m_answers.end()) {
      canned = found->second;
    }
  }
  const auto sendAll = [fd](const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
      const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
      if (n <= 0) {
        return false;
      }
      sent += static_cast<size_t>(n);
    }
    return true;
  };
  if (canned.streamed > 0) {
    const std::string head = "HTTP/1.1 200 X\r\n" +
                             (canned.announce ? "Content-Length: " +
                                                    std::to_string(canned.streamed) + "\r\n"
                                              : std::string()) +
                             "Connection: close\r\n\r\n";
    if (!sendAll(head.data(), head.size())) {
      return;
    }
    const std::string chunk(64 * 1024, 'x');
    for (size_t left = canned.streamed; left > 0;) {
      const size_t size = std::min(left, chunk.size());
      if (!sendAll(chunk.data(), size)) {
        return;
      }
      m_streamed += size;
      left -= size;
    }
    return;
  }
  const std::string answer = "HTTP/1.1 " + std::to_string(canned.status) + " X\r\n" +
                             canned.headers + "Content-Length: " +
                             std::to_string(canned.body.size()) +
                             "\r\nConnection: close\r\n\r\n" + canned.body;
  sendAll(answer.data(), answer.size());
}

}  // namespace qbtest
