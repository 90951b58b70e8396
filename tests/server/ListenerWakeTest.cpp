// The listener sleeps while nothing happens and wakes for each of its events:
// a stop, a rebind and the user's answer about an origin. A listener that
// missed one would sleep on, so each test waits a bounded time for the event's
// effect.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "TempDir.h"
#include "context/CAppData.h"
#include "server/ConnectionListener.h"
#include "server/Dispatcher.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

using namespace std::chrono_literals;

constexpr auto kEventWait = 10s;  // far beyond what any event takes

uint16_t FreePort() {
  UniqueFd probe(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A connected client socket whose reads give up after kEventWait; invalid
// when nothing accepts on `port`.
UniqueFd Connect(uint16_t port) {
  UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const timeval timeout{std::chrono::duration_cast<std::chrono::seconds>(kEventWait).count(), 0};
  ::setsockopt(client.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return UniqueFd();
  }
  return client;
}

std::string ReadToEnd(int socket) {
  std::string bytes;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::recv(socket, buffer, sizeof buffer, 0)) > 0) {
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

// Wake-ups of thread `tid` of this process so far: its context switches.
long WakeUps(pid_t tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  long total = 0;
  std::string line;
  while (std::getline(status, line)) {
    for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
      if (line.starts_with(key)) {
        total += std::stol(line.substr(std::string_view(key).size()));
      }
    }
  }
  return total;
}

// A control window that can ask the user; the test answers for the user.
class AskingWindow : public CControlWindow {
 public:
  void PostPrint(std::shared_ptr<CPrintSession>) override {}
  void PostSave(std::unique_ptr<CQxSaveSession>) override {}
  bool AsksUser() const override { return true; }
  void PostOriginQuestion(const std::string&, std::function<bool()>,
                          std::function<void(OriginAnswer)> answered) override {
    std::lock_guard lock(m_mutex);
    m_answered = std::move(answered);
    m_asked.notify_all();
  }
  // The answer callback of the first question, once one is asked.
  std::function<void(OriginAnswer)> WaitForQuestion() {
    std::unique_lock lock(m_mutex);
    m_asked.wait_for(lock, kEventWait, [this] { return m_answered != nullptr; });
    return m_answered;
  }

 private:
  std::mutex m_mutex;  // guards m_answered
  std::condition_variable m_asked;
  std::function<void(OriginAnswer)> m_answered;
};

class ListenerConcurrency : public ::testing::Test {
 protected:
  ListenerConcurrency() { WritePort(m_port); }
  ~ListenerConcurrency() override {
    if (m_thread.joinable()) {
      m_app->RequestStop();
      if (m_ended.wait_for(kEventWait) == std::future_status::ready) {
        m_thread.join();
      } else {
        // Still running: it and everything it uses are left alive.
        m_thread.detach();
        (void)m_app.release();
        (void)m_task.release();
      }
    }
  }

  void WritePort(uint16_t port) {
    qbtest::WriteFile(m_dir.Path() + "/config/Tavrim/Quillbox.conf",
                      "[Server]\nport=" + std::to_string(port) + "\nbindAddress=127.0.0.1\n");
  }

  // Runs the listener on a thread of its own and waits until it listens.
  void Start() {
    m_task = std::make_unique<ConnectionListener>(&m_app->Tasks());
    std::future<pid_t> started = m_started.get_future();
    m_ended = m_done.get_future();
    m_thread = std::thread([this] {
      m_started.set_value(::gettid());
      m_task->Run();
      m_done.set_value();
    });
    m_tid = started.get();
    ASSERT_TRUE(ListensOn(m_port)) << "the listener did not start listening";
  }

  bool ListensOn(uint16_t port) {
    const std::string where = "port " + std::to_string(port);
    const auto until = std::chrono::steady_clock::now() + kEventWait;
    while (!m_app->GetListening().Text().ends_with(where)) {
      if (std::chrono::steady_clock::now() > until) {
        return false;
      }
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  // Waits until the listener thread has settled, then expects it not to wake
  // over `idle`.
  void ExpectAsleep(std::chrono::milliseconds idle) {
    long before = WakeUps(m_tid);
    for (int i = 0; i < 50; ++i) {
      std::this_thread::sleep_for(100ms);
      const long now = WakeUps(m_tid);
      if (now == before) {
        break;
      }
      before = now;
    }
    std::this_thread::sleep_for(idle);
    EXPECT_EQ(WakeUps(m_tid), before) << "the listener woke while nothing happened";
  }

  qbtest::TempDir m_dir;
  qbtest::ScopedEnv m_home{"HOME", m_dir.Path()};
  qbtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "/config"};
  qbtest::ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "/data"};
  const uint16_t m_port = FreePort();
  std::unique_ptr<CAppData> m_app = std::make_unique<CAppData>();
  std::unique_ptr<ConnectionListener> m_task;
  std::promise<pid_t> m_started;  // the listener thread's id
  std::promise<void> m_done;
  std::future<void> m_ended;
  std::thread m_thread;
  pid_t m_tid = 0;
};

TEST_F(ListenerConcurrency, StopWhileIdleEndsTheListener) {
  Start();
  ExpectAsleep(1s);
  m_app->RequestStop();
  ASSERT_EQ(m_ended.wait_for(kEventWait), std::future_status::ready);
  m_thread.join();
  EXPECT_FALSE(Connect(m_port).Valid()) << "the listening socket is still open";
}

TEST_F(ListenerConcurrency, RebindWhileIdleMovesToTheConfiguredPort) {
  Start();
  ExpectAsleep(500ms);
  const uint16_t moved = FreePort();
  WritePort(moved);
  m_app->RequestRelisten();
  ASSERT_TRUE(ListensOn(moved)) << m_app->GetListening().Text();
  EXPECT_TRUE(Connect(moved).Valid());
  EXPECT_FALSE(Connect(m_port).Valid()) << "the old port is still open";
}

TEST_F(ListenerConcurrency, AnOriginAnsweredWhileIdleIsServed) {
  AskingWindow window;
  m_app->SetControlWindow(&window);
  Start();
  const UniqueFd client = Connect(m_port);
  ASSERT_TRUE(client.Valid());
  const std::string request = "GET /dbAccess/IMG_URL HTTP/1.1\r\nHost: 127.0.0.1:" +
                              std::to_string(m_port) + "\r\nOrigin: https://a.example\r\n\r\n";
  ASSERT_EQ(::send(client.Get(), request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  const std::function<void(OriginAnswer)> answer = window.WaitForQuestion();
  ASSERT_NE(answer, nullptr) << "no question was asked";
  // The request waits for the user with the listener asleep; the answer,
  // from another thread, wakes it to serve the request.
  ExpectAsleep(500ms);
  answer(OriginAnswer::kAllow);
  EXPECT_EQ(ReadToEnd(client.Get()), SuccessAnswer(""));
  m_app->RequestStop();
  m_app->SetControlWindow(nullptr);
}

}  // namespace
}  // namespace qb
