#include "server/RequestLog.h"

#include "util/Log.h"

namespace qb {
namespace {

constexpr size_t kMaxMethodBytes = 16;
constexpr size_t kMaxPathBytes = 300;

// Appends `text`, cut to `limit` bytes (marked by "..."), with every byte
// outside printable ASCII as \xNN. UTF-8 paths are escaped too: the log stays
// plain ASCII and one line per request whatever the client sends.
void AppendEscaped(std::string* line, std::string_view text, size_t limit) {
  static constexpr char kHex[] = "0123456789abcdef";
  const bool cut = text.size() > limit;
  for (const char c : text.substr(0, limit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      line->push_back(c);
    } else {
      line->append("\\x").push_back(kHex[byte >> 4]);
      line->push_back(kHex[byte & 0xf]);
    }
  }
  if (cut) {
    line->append("...");
  }
}

}  // namespace

std::string FormatRequestLine(const CReqParse* request, std::string_view answer,
                              std::chrono::milliseconds elapsed) {
  std::string line;
  const bool hasItems = request != nullptr && request->Params().Count() > 0;
  const std::string method = hasItems ? request->Params().Item(0).m_strName : std::string();
  const std::string path = request != nullptr ? request->GetPath() : std::string();
  AppendEscaped(&line, method.empty() ? "-" : method, kMaxMethodBytes);
  line.push_back(' ');
  AppendEscaped(&line, path.empty() ? "-" : path, kMaxPathBytes);

  // "HTTP/1.1 200 OK": the three digits after the first blank.
  const size_t blank = answer.find(' ');
  const std::string_view status =
      blank == std::string_view::npos ? std::string_view() : answer.substr(blank + 1, 3);
  const bool statusOk = status.size() == 3 && status.find_first_not_of("0123456789") ==
                                                  std::string_view::npos;
  line.append(" ").append(statusOk ? status : "-");

  const size_t headerEnd = answer.find("\r\n\r\n");
  const size_t body = headerEnd == std::string_view::npos ? 0 : answer.size() - headerEnd - 4;
  line.append(" ").append(std::to_string(body)).append(" bytes ");
  line.append(std::to_string(elapsed.count())).append(" ms");
  return line;
}

void LogRequest(const CReqParse* request, std::string_view answer,
                std::chrono::steady_clock::time_point started) {
  if (!IsVerbose()) {
    return;
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  LogDebug(FormatRequestLine(request, answer, elapsed));
}

}  // namespace qb
