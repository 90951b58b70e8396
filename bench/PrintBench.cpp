// Figures of the print path, printed one per line:
//   - "print/add" of an A4 page at 300 dpi (PNG, about 450 KB of base64)
//     end to end over HTTP, against base64 plus PNG decoding alone;
//   - the receive rate of a 20 MB body;
//   - resident memory after 100 queued A4 pages;
//   - render time and peak memory of one A4 page at 600 and 1200 dpi;
//   - one session of 100 A4 pages at 600 dpi: "print/add" time per page and
//     peak resident memory while adding them and while printing them all.
// The server runs in this process on a free port with a temporary HOME.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QPrinter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "LoopbackClient.h"
#include "context/CAppData.h"
#include "output/CPrintSession.h"
#include "output/DataImage.h"
#include "output/PrintJob.h"
#include "server/Listener.h"
#include "util/HeapPolicy.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::stol(line.substr(std::string(field).size()));
    }
  }
  return -1;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = qb::bench::Loopback(0);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

// Sends one request and reads the whole answer.
std::string Exchange(int port, const std::string& request) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = qb::bench::Loopback(static_cast<uint16_t>(port));
  while (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buffer[65536];
  for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;) {
    answer.append(buffer, static_cast<size_t>(n));
  }
  ::close(s);
  return answer;
}

std::string Post(const std::string& target, const std::string& body) {
  return "POST " + target + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// An A4 page at `dpi` (300 or 600) that compresses like a label sheet with
// photos: flat areas with a noisy band.
std::string A4PageText(int dpi = 300) {
  const int scale = dpi / 300;
  QImage image(2480 * scale, 3508 * scale, QImage::Format_ARGB32);
  image.fill(qRgba(250, 250, 245, 255));
  QRandomGenerator random(42);
  for (int y = 400 * scale; y < 470 * scale; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 200 * scale; x < 2280 * scale; ++x) {
      const int v = static_cast<int>(random.bounded(64)) + 96;
      row[x] = qRgba(v, v / 2 + 60, 200 - v / 3, 255);
    }
  }
  QPainter painter(&image);
  painter.fillRect(300 * scale, 1500 * scale, 1800 * scale, 1200 * scale,
                   QColor(20, 120, 200, 160));
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return "data:image/png;base64," + bytes.toBase64().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  // The server's heap, so that the memory figures are the server binary's.
  qb::UseServerHeapPolicy();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QTemporaryDir home;
  const int port = FreePort();
  setenv("HOME", home.path().toUtf8().constData(), 1);
  setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8().constData(), 1);
  QDir().mkpath(home.path() + "/.config/Tavrim");
  std::ofstream(home.path().toStdString() + "/.config/Tavrim/Quillbox.conf")
      << "[Server]\nport=" << port << "\n";

  qb::CAppData app;
  qb::StartListener(app);
  std::printf("resident with the server started: %.0f MB\n", StatusKb("VmRSS:") / 1024.0);

  const std::string page = A4PageText();
  std::printf("A4 page at 300 dpi: %.0f KB of base64\n", page.size() / 1024.0);
  constexpr int kRounds = 10;

  // Decoding alone: base64 and PNG, as "print/add" checks a page.
  auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    if (!qb::CPrintPage::FromDataImage(page)) return 1;
  }
  const double decode = Seconds(start) / kRounds;

  const std::string init = Exchange(port, Post("/print/init", "width=210&height=297"));
  const std::string id = init.substr(init.find("\r\n\r\n") + 4);
  const std::string add = Post("/print/add", "id=" + id + "&img=" + page);
  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    if (Exchange(port, add).rfind("HTTP/1.1 200", 0) != 0) return 1;
  }
  const double endToEnd = Seconds(start) / kRounds;
  std::printf("print/add end to end: %.1f ms; base64 + PNG decode alone: %.1f ms; overhead %.1f%%\n",
              endToEnd * 1e3, decode * 1e3, (endToEnd / decode - 1) * 100);

  {
    // The client's copy of the body goes before the memory figures below,
    // which are the server's.
    const std::string big = Post("/dbAccess/IMG_URL", "a=" + std::string(20 << 20, 'x'));
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
      start = Clock::now();
      Exchange(port, big);
      best = std::min(best, Seconds(start));
    }
    std::printf("20 MB body received and answered: %.1f ms, %.0f MB/s\n", best * 1e3,
                big.size() / best / 1e6);
  }

  const long before = StatusKb("VmRSS:");
  for (int i = static_cast<int>(kRounds); i < 100; ++i) {
    Exchange(port, add);
  }
  std::printf("resident after 100 queued A4 pages: %.0f MB (%.0f MB before the last 90)\n",
              StatusKb("VmRSS:") / 1024.0, before / 1024.0);

  const auto session = app.PrintSessions().Lookup(id);
  std::printf("pages queued: %d\n", session == nullptr ? -1 : session->PageCount());
  for (int dpi : {600, 1200}) {
    QTemporaryDir out;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath("page.pdf"));
    printer.setResolution(dpi);
    qb::CPrintSession one("r", 210, 297, 0, 1);
    if (!one.AddPage(std::move(*qb::CPrintPage::FromDataImage(page)))) return 1;
    const long rss = StatusKb("VmRSS:");
    ResetPeak();
    start = Clock::now();
    qb::PrintSession(&one, &printer, false);
    std::printf("render one A4 page at %d dpi: %.0f ms, peak %.0f MB above the %.0f MB before\n",
                dpi, Seconds(start) * 1e3, (StatusKb("VmHWM:") - rss) / 1024.0, rss / 1024.0);
  }

  {
    // One session of 100 pages at 600 dpi, added over HTTP, then printed.
    const std::string page600 = A4PageText(600);
    const std::string init600 = Exchange(port, Post("/print/init", "width=210&height=297"));
    const std::string id600 = init600.substr(init600.find("\r\n\r\n") + 4);
    const std::string add600 = Post("/print/add", "id=" + id600 + "&img=" + page600);
    const long rss = StatusKb("VmRSS:");
    ResetPeak();
    start = Clock::now();
    for (int i = 0; i < 100; ++i) {
      if (Exchange(port, add600).rfind("HTTP/1.1 200", 0) != 0) return 1;
    }
    const double adding = Seconds(start) / 100;
    std::printf("100 A4 pages at 600 dpi (%.0f KB of base64 each) in one session: print/add %.1f "
                "ms a page, peak resident %.0f MB (%.0f MB before), %.0f MB after\n",
                page600.size() / 1024.0, adding * 1e3, StatusKb("VmHWM:") / 1024.0, rss / 1024.0,
                StatusKb("VmRSS:") / 1024.0);
    const auto session600 = app.PrintSessions().Lookup(id600);
    QTemporaryDir out;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath("pages.pdf"));
    printer.setResolution(600);
    const int pages600 = session600 == nullptr ? -1 : session600->PageCount();
    ResetPeak();
    start = Clock::now();
    if (session600 != nullptr) qb::PrintSession(session600.get(), &printer, false);
    std::printf("printed its %d pages at 600 dpi: %.1f s, peak resident %.0f MB\n", pages600,
                Seconds(start), StatusKb("VmHWM:") / 1024.0);
  }

  app.RequestStop();
  qb::JoinListener();
  return 0;
}
