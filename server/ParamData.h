// One named item of a parsed request: a header line (its first token is the
// name, e.g. "GET" or "Content-Length:"), a form pair of the body, or the
// binary payload of a document upload ("BinaryData").
//
// Thread contract: owned by one ParamMgr; not shared.
#pragma once

#include <string>
#include <vector>

namespace qb {

class ParamData {
 public:
  ~ParamData() = default;

  // The first value, or empty text when there is none.
  const std::string& GetValue() const {
    static const std::string kEmpty;
    return m_values.empty() ? kEmpty : m_values.front();
  }

  std::string m_strName;
  std::vector<std::string> m_values;
  std::string m_binary;  // raw bytes of a document upload; empty otherwise
};

}  // namespace qb
