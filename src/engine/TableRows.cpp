// A table's rows: its live records in order, found as they are asked for.
#include "engine/Database.h"
#include "engine/Folder.h"
#include "engine/RowSource.h"

#include <algorithm>

namespace engine {

namespace {

// Only the deleted records are remembered: row numbers map to record numbers around them.
class TableRows final : public TableBackedRows {
public:
    TableRows(Database& db, const std::filesystem::path& file, std::string name)
        : TableBackedRows(db, file, std::move(name), db.files().table(file)) {
        const auto names = columnNames(*m_table);
        for (std::size_t i : m_table->visibleFields()) {
            const auto& f = m_table->fields()[i];
            m_columns.push_back(names[m_fields.size()]);
            m_fields.push_back(fieldInfo(names[m_fields.size()], f));
            m_fieldOf.push_back(i);
        }
    }

    std::int64_t count() const override {
        return static_cast<std::int64_t>(m_scanned) - static_cast<std::int64_t>(m_deleted.size());
    }

    bool fetch(std::int64_t row) override {
        const std::uint32_t total = m_table->recordCount();
        while (count() <= row && m_scanned < total) {
            const std::int64_t wanted = row - count() + 1;
            const auto step = static_cast<std::uint32_t>(
                std::clamp<std::int64_t>(wanted, 4096, std::int64_t{total} - m_scanned));
            const std::uint32_t to = std::min<std::uint32_t>(total, m_scanned + step);
            m_table->findDeleted(m_scanned, to, m_deleted);
            m_scanned = to;
        }
        m_complete = m_scanned >= total;
        return row < count();
    }

    bool complete() const override { return m_complete; }

    // The smallest record k with row + 1 live records in [0, k]; it is live itself.
    std::optional<std::uint32_t> record(std::int64_t row) const override {
        std::int64_t low = row, high = row + static_cast<std::int64_t>(m_deleted.size());
        while (low < high) {
            const std::int64_t mid = low + (high - low) / 2;
            const auto deletedUpTo =
                std::upper_bound(m_deleted.begin(), m_deleted.end(), static_cast<std::uint32_t>(mid)) -
                m_deleted.begin();
            if (mid + 1 - deletedUpTo >= row + 1)
                high = mid;
            else
                low = mid + 1;
        }
        return static_cast<std::uint32_t>(low);
    }

    void removed(std::int64_t row) override {
        const std::uint32_t r = *record(row);
        m_deleted.insert(std::upper_bound(m_deleted.begin(), m_deleted.end(), r), r);
    }

    // Read to the end first: the new record joins as the last row.
    void appended(std::uint32_t r) override {
        fetch(INT64_MAX - 1);
        m_scanned = std::max(m_scanned, r + 1);
    }

private:
    std::uint32_t m_scanned = 0;          // records looked at so far
    std::vector<std::uint32_t> m_deleted; // deleted ones among them, ascending
    bool m_complete = false;
};

} // namespace

std::unique_ptr<TableBackedRows> openTableRows(Database& db, const std::filesystem::path& file,
                                               std::string name) {
    return std::make_unique<TableRows>(db, file, std::move(name));
}

} // namespace engine
