#include "server/CReqParse.h"

#include <algorithm>

#include "server/RequestTokens.h"
#include "util/Log.h"
#include "util/Text.h"

namespace qb {
namespace {

constexpr std::string_view kBinaryRoute = "saveqx/save";
// The routes that read body items; the dispatcher finds them before any other
// route whose text a path may also hold.
constexpr std::string_view kFormRoutes[] = {"print/init", "print/add", "print/end", "print/status"};

bool IsRequestLineName(std::string_view name) {
  return EqualsIgnoreCase(name, "GET") || EqualsIgnoreCase(name, "POST");
}

}  // namespace

bool ReadsFormItems(std::string_view path) {
  for (const std::string_view route : kFormRoutes) {
    if (path.find(route) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

bool CReqParse::Parse(std::string_view bytes) {
  m_params.Clear();
  m_bRejected = false;
  m_strMethod.clear();
  m_strFields.clear();
  m_nHeaderItems = kAllItems;

  // Text stops at the first zero byte; the binary item is cut from `bytes`.
  const std::string_view text = bytes.substr(0, bytes.find('\0'));
  bool header = true;
  size_t fieldsBegin = std::string_view::npos;  // where the lines after the request line start
  bool binary = false;
  bool form = false;
  int64_t expected = 0;
  size_t pos = 0;
  bool last = false;
  while (!last && !m_bRejected) {
    const size_t lineStart = pos;
    const std::string_view line = SplitLine(text, "\r\n", &pos, &last);
    if (header) {
      if (!line.empty()) {
        if (fieldsBegin == std::string_view::npos) {
          m_strMethod = std::string(line.substr(0, line.find(' ')));
          fieldsBegin = pos;
        }
        AddHeaderLine(line);
        continue;
      }
      header = false;
      if (fieldsBegin != std::string_view::npos && lineStart > fieldsBegin) {
        m_strFields = std::string(text.substr(fieldsBegin, lineStart - fieldsBegin));
      }
      m_nHeaderItems = m_params.Count();
      const std::string path = GetPath();
      if (path.find(kBinaryRoute) != std::string::npos) {
        binary = true;
        expected = GetContentLength();
      } else if (ReadsFormItems(path)) {
        form = true;
      } else {
        break;  // nothing reads this body
      }
    } else if (binary) {
      if (expected > 0 && static_cast<uint64_t>(expected) < bytes.size()) {
        auto item = std::make_unique<ParamData>();
        item->m_strName = "BinaryData";
        item->m_binary.assign(bytes.substr(bytes.size() - static_cast<size_t>(expected)));
        m_params.Append(std::move(item));
      } else {
        m_params.Clear();
      }
      break;
    } else if (form) {
      AddBodyLine(line);
    }
  }
  if (header && fieldsBegin < text.size()) {
    m_strFields = std::string(text.substr(fieldsBegin));  // no blank line ended the header
  }
  if (m_bRejected) {
    m_params.Clear();
    m_strMethod.clear();
    m_strFields.clear();
  }
  return m_params.Count() > 0;
}

void CReqParse::AddHeaderLine(std::string_view line) {
  auto item = std::make_unique<ParamData>();
  size_t pos = 0;
  bool requestLine = false;
  for (std::string_view raw = Tokenize(line, " ", &pos); !raw.empty();
       raw = Tokenize(line, " ", &pos)) {
    std::string token = UrlDecode(raw);
    if (item->m_strName.empty() && item->m_values.empty()) {
      requestLine = IsRequestLineName(token);
    }
    if (Utf16Length(token) > kMaxHeaderTokenUnits) {
      if (requestLine) {
        m_bRejected = true;
        return;
      }
      token.resize(Utf16Prefix(token, kMaxHeaderTokenUnits).size());
    }
    if (item->m_strName.empty() && item->m_values.empty()) {
      item->m_strName = std::move(token);
      if (item->m_strName.empty()) {
        return;  // the name decoded to nothing ("%00"): no item
      }
    } else {
      item->m_values.push_back(std::move(token));
    }
  }
  if (!item->m_strName.empty()) {
    m_params.Append(std::move(item));
  }
}

std::vector<std::string> CReqParse::HeaderValues(std::string_view name) const {
  std::vector<std::string> values;
  size_t pos = 0;
  bool last = m_strFields.empty();
  while (!last) {
    const std::string_view line = SplitLine(m_strFields, "\r\n", &pos, &last);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      continue;
    }
    // Blanks before the colon are dropped as the framer drops them.
    if (!EqualsIgnoreCase(TrimEnd(line.substr(0, colon), kBlanks), name)) {
      continue;
    }
    values.emplace_back(TrimBlanks(line.substr(colon + 1)));
  }
  return values;
}

namespace {

// A body token as text: a large token (a page image) is valid UTF-8 as a rule
// and is copied once; only one that needs cleaning is converted.
std::string BodyToken(std::string_view token) {
  return IsValidUtf8(token) ? std::string(token) : RepairedUtf8(token);
}

}  // namespace

void CReqParse::AddBodyLine(std::string_view line) {
  // The separators are ASCII, so splitting before cleaning gives the same
  // pieces as cleaning the whole line first, without a copy of the line.
  size_t piecePos = 0;
  for (std::string_view piece = Tokenize(line, "&", &piecePos); !piece.empty();
       piece = Tokenize(line, "&", &piecePos)) {
    if (m_params.Count() - m_nHeaderItems >= kMaxFormItems) {
      LogInfo("request refused: more than " + std::to_string(kMaxFormItems) + " form items");
      m_bRejected = true;
      return;
    }
    auto item = std::make_unique<ParamData>();
    size_t pos = 0;
    item->m_strName = BodyToken(Tokenize(piece, "=", &pos));
    for (std::string_view value = Tokenize(piece, "=", &pos); !value.empty();
         value = Tokenize(piece, "=", &pos)) {
      item->m_values.push_back(BodyToken(value));
    }
    m_params.Append(std::move(item));
  }
}

const ParamData* CReqParse::FindItem(std::string_view name) const {
  const int index = m_params.Find(name);
  return index < 0 ? nullptr : &m_params.Item(static_cast<size_t>(index));
}

int64_t CReqParse::GetContentLength() const {
  const ParamData* item = FindItem("Content-Length:");
  return item == nullptr ? 0 : LeadingInteger(item->GetValue());
}

std::string CReqParse::RequestTarget() const {
  // Only header lines count: a form field named "get" or "post" is no request
  // line.
  const size_t headerItems = std::min(m_nHeaderItems, m_params.Count());
  for (const std::string_view method : {"GET", "POST"}) {
    for (size_t i = 0; i < headerItems; ++i) {
      const ParamData& item = m_params.Item(i);
      if (EqualsIgnoreCase(item.m_strName, method)) {
        return item.GetValue();
      }
    }
  }
  return {};
}

std::string CReqParse::GetPath() const {
  std::string target = RequestTarget();
  const size_t mark = target.rfind('?');
  if (mark != std::string::npos && mark >= 1) {
    target.resize(mark);
  }
  return target;
}

std::string CReqParse::GetQuery() const {
  const std::string target = RequestTarget();
  const size_t mark = target.rfind('?');
  if (mark == std::string::npos || mark < 1 || mark + 1 >= target.size()) {
    return {};
  }
  return target.substr(mark + 1);
}

std::string CReqParse::GetQueryName() const {
  const std::string query = GetQuery();
  size_t piecePos = 0;
  for (std::string_view piece = Tokenize(query, "&", &piecePos); !piece.empty();
       piece = Tokenize(query, "&", &piecePos)) {
    size_t pos = 0;
    if (Tokenize(piece, "=", &pos) == "name") {
      const std::string_view value = Tokenize(piece, "=", &pos);
      if (!value.empty()) {
        return std::string(value);
      }
    }
  }
  return {};
}

}  // namespace qb
