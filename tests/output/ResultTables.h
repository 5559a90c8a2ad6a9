// Tables the output tests export, written into a test's own folder, and a data source over them.
#pragma once

#include "datagrid/DataSource.h"
#include "engine/EngineTestSupport.h"
#include "support/Qt.h"

#include <QString>

namespace outputtest {

using testsupport::q;

// NAME C 12, AGE N 3, PRICE N 8.2, BORN D, MEMBER L. Bob has no age and no birth date, Zoë no
// price and no membership (Null), so every column has a Null somewhere but NAME.
inline void writePeople(const std::filesystem::path& path) {
    using engine::Value;
    const Value null = xbase::Null{};
    testsupport::writeTable(
        path,
        {{"NAME", 'C', 12, 0},
         {"AGE", 'N', 3, 0},
         {"PRICE", 'N', 8, 2},
         {"BORN", 'D', 8, 0},
         {"MEMBER", 'L', 1, 0}},
        {{std::string("Ann"), std::int64_t{7}, 2.5, xbase::Date{2024, 3, 15}, true},
         {std::string("Bob"), null, 1234.75, null, false},
         {std::string("Zo\xc3\xab"), std::int64_t{12}, null, xbase::Date{1999, 12, 31}, null}});
}

// Points the data source at `source` in `folder`, refreshes it and, as every caller of a new
// source does, moves to the last and back to the first row so that the count is complete.
inline void bind(datagrid::DataSource& data, const std::filesystem::path& folder, const QString& source) {
    data.setDatabaseName(q(folder));
    data.setRecordSource(source);
    data.refresh();
    try {
        data.moveLast();
        data.moveFirst();
    } catch (const engine::Error&) {
        // an empty result
    }
}

} // namespace outputtest
