// Turns the raw bytes of one request into a flat list of named items and
// answers the questions the dispatcher asks of it: the path, the query, the
// query key "name", items by name and the upload length.
//
// Header lines are split at blanks and every token is URL-decoded; the first
// token names the item. After the blank line each body line is split into
// "name=value" pairs taken verbatim when the path names a route that reads
// them (the print routes), at most kMaxFormItems of them: a body with more
// makes the request rejected. Other routes' bodies are not looked at. When the
// path names the document upload ("saveqx/save"), the last Content-Length
// bytes of the raw request become the single item "BinaryData". The items
// hold at most about as many bytes as the request.
//
// A decoded header token has room for 511 UTF-16 units. A longer token in the
// request line (the target) makes the whole request rejected: no items, and
// IsRejected() is true so that the caller answers with the server error. A
// longer token in any other header line is cut to 511 units.
//
// Besides the items, the header lines after the request line are kept as sent
// (neither URL-decoded nor cut), with the method token of the request line,
// for the checks that need a header exactly as the client wrote it.
//
// Thread contract: used by one connection thread; not shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/ParamMgr.h"

namespace qb {

inline constexpr size_t kMaxHeaderTokenUnits = 511;
inline constexpr size_t kMaxFormItems = 256;

// True when the route named by `path` reads "name=value" items of the body.
bool ReadsFormItems(std::string_view path);

class CReqParse {
 public:
  ~CReqParse() = default;

  // Parses `bytes`, replacing earlier items; true when at least one item was
  // produced.
  bool Parse(std::string_view bytes);
  bool IsRejected() const { return m_bRejected; }

  const ParamMgr& Params() const { return m_params; }
  int Find(std::string_view name) const { return m_params.Find(name); }
  // The item called `name` (ignoring case), or null.
  const ParamData* FindItem(std::string_view name) const;

  // First value of "Content-Length:" read as a decimal integer (leading digits
  // with an optional sign); 0 when missing or without digits.
  int64_t GetContentLength() const;
  // The request target of the "GET" item, else of the "POST" item, cut before
  // its last "?" when that stands at index 1 or later. Only items from header
  // lines are looked at: a form field of the same name is never the target.
  std::string GetPath() const;
  // The text after that "?"; empty when there is none or nothing follows.
  std::string GetQuery() const;
  // The value of the query key "name" (exact case), or empty.
  std::string GetQueryName() const;

  // The first blank-separated token of the request line as sent ("GET",
  // "OPTIONS", ...); empty when the request starts with a blank line.
  const std::string& Method() const { return m_strMethod; }
  // The values of every header field called `name` (ignoring case and blanks
  // before the colon), in order: the text after the colon without the blanks
  // and tabs around it.
  std::vector<std::string> HeaderValues(std::string_view name) const;

 private:
  std::string RequestTarget() const;
  void AddHeaderLine(std::string_view line);
  void AddBodyLine(std::string_view line);

  static constexpr size_t kAllItems = static_cast<size_t>(-1);

  ParamMgr m_params;
  bool m_bRejected = false;
  std::string m_strMethod;
  std::string m_strFields;  // header lines after the request line, as sent
  // Items that came from header lines (the first ones); all of them while
  // the blank line has not been seen.
  size_t m_nHeaderItems = kAllItems;
};

}  // namespace qb
