// Tables written for a test through the file layer, independent of the engine and windows under test.
#pragma once

#include "xbase/Table.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The values of one record, in field order; Null leaves a field blank.
using Row = std::vector<xbase::Value>;

void writeTable(const std::filesystem::path& path, const std::vector<xbase::FieldSpec>& fields,
                const std::vector<Row>& rows, const std::string& codePage = "CP1252");
// n records, the values of record i (from 1) given by row(i).
void writeRows(const std::filesystem::path& path, const std::vector<xbase::FieldSpec>& fields, int n,
               const std::function<Row(int)>& row, const std::string& codePage = "CP1252");

// ITEM C(10), QTY N(5): nails 40, screws 12, bolts 7.
void writeOrders(const std::filesystem::path& path);
// ID N(8) and N N(8) = 0, for writers that count; with padWidth also PAD C(padWidth), filled.
void writeCounters(const std::filesystem::path& path, int n, int padWidth = 0);
// ID N(6), NAME C(10) "n<id>", NOTE M "memo <id>" on every third record.
void writeNumbered(const std::filesystem::path& path, int n);

} // namespace testsupport
