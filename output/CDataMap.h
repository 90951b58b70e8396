// Keyed list in insertion order that owns its values: the store of print
// sessions (keyed by identifier text) and of a session's pages (keyed by page
// number). Text keys compare exactly, byte by byte; number keys by value.
// Searches are linear in insertion order.
//
// Thread contract: not synchronised; the owner guards every call with its own
// mutex.
#pragma once

#include <memory>
#include <new>
#include <vector>

#include "output/CData.h"

namespace qb {

template <typename K, typename V>
class CDataMap {
 public:
  CDataMap() = default;
  ~CDataMap() { RemoveAll(); }
  CDataMap(const CDataMap&) = delete;
  CDataMap& operator=(const CDataMap&) = delete;

  int Count() const { return static_cast<int>(m_items.size()); }

  // Stores `value` under `key`: replaces the value of an entry with an equal
  // key, else appends a new entry. The entry's index, or -1 when the list
  // cannot grow (the value is then dropped).
  int SetAt(const K& key, std::unique_ptr<V> value) {
    const int index = IndexOf(key);
    if (index >= 0) {
      m_items[static_cast<size_t>(index)]->m_value = std::move(value);
      return index;
    }
    try {
      m_items.push_back(std::make_unique<CData<K, V>>(key, std::move(value)));
    } catch (const std::bad_alloc&) {
      return -1;
    }
    return Count() - 1;
  }

  // The value stored under `key`, else `fallback`.
  V* Lookup(const K& key, V* fallback) const {
    const int index = IndexOf(key);
    return index < 0 ? fallback : m_items[static_cast<size_t>(index)]->m_value.get();
  }

  // Index of the first entry whose key equals `key`, or -1.
  int IndexOf(const K& key) const {
    for (size_t i = 0; i < m_items.size(); ++i) {
      if (m_items[i]->m_key == key) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // The entry at `index` (0 <= index < Count()).
  const CData<K, V>& At(int index) const { return *m_items[static_cast<size_t>(index)]; }

  // Deletes every entry with its value.
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<std::unique_ptr<CData<K, V>>> m_items;  // entries in insertion order
};

}  // namespace qb
