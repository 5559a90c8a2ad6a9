// Least recently used rows of a result, held as their cell texts.
#include "datagrid/RowCache.h"

#include <algorithm>

namespace datagrid {

RowCache::RowCache(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1)) {}

const CachedRow* RowCache::find(std::int64_t row) {
    const auto it = m_index.find(row);
    if (it == m_index.end()) return nullptr;
    m_rows.splice(m_rows.begin(), m_rows, it->second);
    return &it->second->second;
}

const CachedRow& RowCache::insert(std::int64_t row, CachedRow values) {
    erase(row);
    if (m_index.size() >= m_capacity) {
        m_index.erase(m_rows.back().first);
        m_rows.pop_back();
    }
    m_rows.emplace_front(row, std::move(values));
    m_index[row] = m_rows.begin();
    return m_rows.front().second;
}

void RowCache::erase(std::int64_t row) {
    const auto it = m_index.find(row);
    if (it == m_index.end()) return;
    m_rows.erase(it->second);
    m_index.erase(it);
}

void RowCache::clear() {
    m_rows.clear();
    m_index.clear();
}

} // namespace datagrid
