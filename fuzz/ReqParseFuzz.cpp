// Raw request bytes into the request parser, then the questions the
// dispatcher asks: path, query, query name, upload length.
//
// Properties: Parse reports items exactly when there are some; a rejected
// request has none; decoded header tokens are clean UTF-8 within their
// 511-unit room; the query is what follows the target's last "?"; an
// upload item is the tail of the raw bytes; parsing again gives the same list.

#include "FuzzCheck.h"
#include "server/CReqParse.h"
#include "util/Text.h"

namespace {

struct Summary {
  size_t count = 0;
  std::string path;
  std::string query;
  std::string name;
  int64_t contentLength = 0;
  bool operator==(const Summary&) const = default;
};

Summary Summarise(const qb::CReqParse& request) {
  return {request.Params().Count(), request.GetPath(), request.GetQuery(), request.GetQueryName(),
          request.GetContentLength()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = qbfuzz::Bytes(data, size);
  qb::CReqParse request;
  const bool parsed = request.Parse(bytes);
  const Summary first = Summarise(request);

  FUZZ_CHECK(parsed == (first.count > 0));
  FUZZ_CHECK(!request.IsRejected() || !parsed);
  FUZZ_CHECK(qb::IsValidUtf8(first.path));
  FUZZ_CHECK(qb::Utf16Length(first.path) <= qb::kMaxHeaderTokenUnits);
  FUZZ_CHECK(first.query.find('?') == std::string::npos);
  FUZZ_CHECK(first.name.size() <= first.query.size());
  FUZZ_CHECK(first.name.empty() || first.query.find(first.name) != std::string::npos);

  const size_t count = request.Params().Count();
  for (size_t i = 0; i < count; ++i) {
    const qb::ParamData& item = request.Params().Item(i);
    if (item.m_strName == "BinaryData" && !item.m_binary.empty()) {
      FUZZ_CHECK(static_cast<int64_t>(item.m_binary.size()) == first.contentLength);
      FUZZ_CHECK(bytes.ends_with(item.m_binary));
    }
  }

  FUZZ_CHECK(request.Parse(bytes) == parsed);
  FUZZ_CHECK(Summarise(request) == first);
  return 0;
}
