// How the dbf table planned a scan in xBestIndex, handed to xFilter: the kind as idxNum, the details as
// the text of idxStr.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace engine::dbf {

struct ScanPlan {
    enum Kind : int {
        AllRecords = 0,   // every live record (comparisons, if any, are checked on the way)
        OneRecord = 1,    // the record whose rowid is argv[0]
        Grouped = 2,      // the records of each value of orderColumn together, groups in order
        FirstInOrder = 3, // the first LIMIT records in the order of orderColumn
    };
    struct Comparison {
        int column = 0;       // of the virtual table
        unsigned char op = 0; // SQLITE_INDEX_CONSTRAINT_EQ, ...
    };

    Kind kind = AllRecords;
    // Comparisons of a column with a constant, checked on the record bytes; the constant of the ith is
    // argv[i].
    std::vector<Comparison> comparisons;
    int orderColumn = -1;
    bool descending = false;
    int limitArgument = 0; // FirstInOrder: argv index (from 1) of the LIMIT

    // The idxStr text: "orderColumn descending limitArgument column:op column:op ...".
    std::string encode() const;
    // The plan of idxNum and idxStr for a table of `columns` columns; nullopt when they are not one
    // encode() made.
    static std::optional<ScanPlan> decode(int idxNum, const char* idxStr, int columns, int arguments);
};

} // namespace engine::dbf
