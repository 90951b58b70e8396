// One uploaded document waiting to be saved: its bytes and the file name the
// client suggested. Created by the dispatcher on a connection thread, then
// handed whole to the UI thread, which deletes it once saved or dropped.
//
// Thread contract: used by one thread at a time; never shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qb {

class CQxSaveSession {
 public:
  explicit CQxSaveSession(std::string id) : m_strId(std::move(id)) {}
  ~CQxSaveSession() = default;

  // Drops any earlier bytes and the name, then stores a copy of `count` bytes:
  // true when stored; false for null bytes, a count of 0 or less, or when the
  // copy cannot be allocated. The name is therefore set after the data.
  bool SetData(const char* bytes, int64_t count);
  // Copies `name` as the suggested file name.
  void SetName(const std::string& name) { m_strName = name; }
  std::string GetName() const { return m_strName; }

  const char* Data() const { return m_pData.get(); }
  size_t Size() const { return m_nSize; }

  const std::string m_strId;  // from the session counter; not used afterwards

 private:
  size_t m_nSize = 0;                // byte count of m_pData
  std::unique_ptr<char[]> m_pData;   // the document, or null
  std::string m_strName;             // suggested file name
};

}  // namespace qb
