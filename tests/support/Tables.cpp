#include "support/Tables.h"

namespace testsupport {

void writeTable(const std::filesystem::path& path, const std::vector<xbase::FieldSpec>& fields,
                const std::vector<Row>& rows, const std::string& codePage) {
    writeRows(
        path, fields, static_cast<int>(rows.size()), [&](int i) { return rows[i - 1]; }, codePage);
}

void writeRows(const std::filesystem::path& path, const std::vector<xbase::FieldSpec>& fields, int n,
               const std::function<Row(int)>& row, const std::string& codePage) {
    auto table = xbase::Table::create(path, fields, codePage);
    for (int i = 1; i <= n; ++i) {
        auto record = table->blankRecord();
        const Row values = row(i);
        for (std::size_t f = 0; f < values.size(); ++f)
            table->encode(record, f, values[f]);
        table->appendRecord(record);
    }
    table->sync();
}

void writeOrders(const std::filesystem::path& path) {
    writeTable(path, {{"ITEM", 'C', 10}, {"QTY", 'N', 5}},
               {{std::string("nails"), std::int64_t{40}},
                {std::string("screws"), std::int64_t{12}},
                {std::string("bolts"), std::int64_t{7}}});
}

void writeCounters(const std::filesystem::path& path, int n, int padWidth) {
    std::vector<xbase::FieldSpec> fields{{"ID", 'N', 8}, {"N", 'N', 8}};
    if (padWidth > 0) fields.push_back({"PAD", 'C', static_cast<std::uint32_t>(padWidth)});
    writeRows(path, fields, n, [&](int i) {
        Row row{std::int64_t{i}, std::int64_t{0}};
        if (padWidth > 0) row.push_back(std::string(padWidth, static_cast<char>('a' + i % 26)));
        return row;
    });
}

void writeNumbered(const std::filesystem::path& path, int n) {
    writeRows(path, {{"ID", 'N', 6}, {"NAME", 'C', 10}, {"NOTE", 'M'}}, n, [](int i) {
        return Row{std::int64_t{i}, "n" + std::to_string(i),
                   i % 3 == 0 ? xbase::Value("memo " + std::to_string(i)) : xbase::Value(xbase::Null{})};
    });
}

} // namespace testsupport
