// One entry of a CDataMap: a key and the value it owns (which may be null).
//
// Thread contract: belongs to its map; guarded by whatever guards the map.
#pragma once

#include <memory>
#include <utility>

namespace qb {

template <typename K, typename V>
class CData {
 public:
  CData(K key, std::unique_ptr<V> value) : m_key(std::move(key)), m_value(std::move(value)) {}
  ~CData() = default;

  K m_key;
  std::unique_ptr<V> m_value;  // owned, may be null
};

}  // namespace qb
