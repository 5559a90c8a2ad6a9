// A few recently shown rows of a result, as cell texts, so that painting does not read the file per cell.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

namespace datagrid {

// The texts of one row; errors[i] is non-empty where field i could not be read (a damaged record).
struct CachedRow {
    std::vector<QString> texts;
    std::vector<QString> errors;
    std::vector<bool> nulls; // field i holds Null (shown apart from empty text)
};

// Least recently used rows, at most capacity() of them: the memory of a grid stays the same for a
// table of a thousand rows and one of a million.
class RowCache {
public:
    explicit RowCache(std::size_t capacity);

    // The row, made the most recently used; null when it is not held.
    const CachedRow* find(std::int64_t row);
    // Holds the row (replacing an older copy), dropping the least recently used one when full.
    const CachedRow& insert(std::int64_t row, CachedRow values);
    void erase(std::int64_t row);
    void clear();
    std::size_t size() const { return m_index.size(); }
    std::size_t capacity() const { return m_capacity; }

private:
    using Entry = std::pair<std::int64_t, CachedRow>;
    std::size_t m_capacity;
    std::list<Entry> m_rows; // most recently used first
    std::unordered_map<std::int64_t, std::list<Entry>::iterator> m_index;
};

} // namespace datagrid
