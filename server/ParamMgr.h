// The ordered list of items of one parsed request. Owns its items.
//
// Thread contract: belongs to the connection thread that parses the request.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "server/ParamData.h"

namespace qb {

class ParamMgr {
 public:
  ~ParamMgr() = default;

  void Clear() { m_items.clear(); }
  void Append(std::unique_ptr<ParamData> item) { m_items.push_back(std::move(item)); }
  size_t Count() const { return m_items.size(); }
  const ParamData& Item(size_t index) const { return *m_items[index]; }

  // Index of the first item whose name equals `name` ignoring ASCII case, or -1.
  int Find(std::string_view name) const;

 private:
  std::vector<std::unique_ptr<ParamData>> m_items;
};

}  // namespace qb
