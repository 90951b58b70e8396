// Decides, from the bytes received so far on a connection, whether the
// request is complete. A request is complete as soon as its header block has
// arrived and, when it carries Content-Length, that many body bytes have
// followed; a request without Content-Length other than a POST is complete at
// the blank line. Otherwise (header block still open, or a POST body of
// unknown length) the request ends when the sender pauses, which the receive
// loop decides. A request that is or announces more than kMaxRequestBytes is
// too large.
//
// Thread contract: one instance per connection; not shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qb {

inline constexpr size_t kMaxRequestBytes = size_t{256} * 1024 * 1024;

struct RequestFrame {
  enum class State { kNeedMore, kComplete, kTooLarge };
  State state = State::kNeedMore;
  size_t size = 0;         // kComplete: how many bytes make up the request
  bool pauseEnds = false;  // kNeedMore: a pause of the sender completes it
  size_t expected = 0;     // kNeedMore: the announced size of the whole request, 0 if unknown
  size_t headerBytes = 0;  // the header block with its blank line; 0 while it is open
};

class RequestFramer {
 public:
  // `received` is everything received so far; between calls it only grows at
  // its end.
  RequestFrame Update(std::string_view received);

 private:
  void ReadHeaderBlock(std::string_view header);

  size_t m_scanFrom = 0;                 // where the search for "\r\n\r\n" resumes
  std::optional<size_t> m_headerEnd;     // bytes up to and including the blank line
  std::optional<int64_t> m_contentLength;
  bool m_isPost = false;
};

}  // namespace qb
