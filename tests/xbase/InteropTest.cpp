// Interoperability of the dBASE file layer with outside programs: dbfread, python3-dbf and GDAL's ogrinfo.
#include "support/Errors.h"
#include "support/Files.h"
#include "support/Outside.h"
#include "support/TempDir.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using namespace xbase;
using testsupport::TempDir;

namespace {

using testsupport::Cell;
using testsupport::contains;
using testsupport::Dump;
using testsupport::runScript;

// Python's spelling of our code page names: CP1252 -> cp1252, UTF-8 -> utf_8, MAC-GREEK -> mac_greek.
std::string pythonCodec(std::string name) {
    for (auto& c : name)
        c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// dbfread maps language driver ids itself; for a table whose header names no code page (id 0) it would
// read only ASCII, so it is told the code page our reader decided on.
Dump dbfreadOf(const fs::path& path) {
    auto table = Table::open(path);
    const bool told = table->codePageDetected() || CodePage::nameFromCpgFile(path);
    return testsupport::dbfread(path, told ? pythonCodec(table->codePage().name()) : "");
}

Dump ogrOf(const fs::path& path) {
    return runScript("ogr_dump.py", {path.string()});
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s)
        out += c == '\\'   ? "\\\\"
               : c == '\t' ? "\\t"
               : c == '\r' ? "\\r"
               : c == '\n' ? "\\n"
                           : std::string(1, c);
    return out;
}

std::string printed(const char* format, auto... args) {
    char b[64];
    std::snprintf(b, sizeof b, format, args...);
    return b;
}

Cell cellOf(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return {"text", escape(*s)};
    if (auto i = std::get_if<std::int64_t>(&v)) return {"int", std::to_string(*i)};
    if (auto d = std::get_if<double>(&v)) return {"real", printed("%.17g", *d)};
    if (auto b = std::get_if<bool>(&v)) return {"bool", *b ? "true" : "false"};
    if (auto d = std::get_if<Date>(&v)) return {"date", printed("%04d-%02d-%02d", d->year, d->month, d->day)};
    if (auto t = std::get_if<DateTime>(&v)) {
        const int ms = t->msecOfDay;
        return {"datetime", printed("%04d-%02d-%02dT%02d:%02d:%02d.%03d", t->date.year, t->date.month,
                                    t->date.day, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000)};
    }
    if (auto bytes = std::get_if<Bytes>(&v)) {
        std::string hex;
        for (auto byte : *bytes)
            hex += printed("%02x", byte);
        return {"bytes", hex};
    }
    return {"null", ""};
}

// What our reader makes of a table, in the same form.
Dump dumpOf(const Table& t) {
    Dump d;
    d.deleted = 0;
    for (auto i : t.visibleFields())
        d.fields.push_back(t.fields()[i].name);
    for (std::uint32_t r = 0; r < t.recordCount(); ++r) {
        if (t.isDeleted(r)) {
            ++d.deleted;
            continue;
        }
        auto& row = d.records.emplace_back();
        for (auto i : t.visibleFields()) {
            try {
                row.push_back(cellOf(t.value(r, i)));
            } catch (const Error& e) {
                row.push_back({"error", e.what()});
            }
        }
    }
    return d;
}

bool sameCell(const Cell& a, const Cell& b) {
    const auto number = [](const Cell& c) { return c.kind == "int" || c.kind == "real"; };
    if (number(a) && number(b)) {
        if (a.kind == "int" && b.kind == "int")
            return a.text == b.text; // exact: N(19,0) values go beyond a double's precision
        char *endA = nullptr, *endB = nullptr;
        const double x = std::strtod(a.text.c_str(), &endA), y = std::strtod(b.text.c_str(), &endB);
        if (*endA || *endB || a.text.empty() || b.text.empty()) return false;
        return x == y || std::fabs(x - y) <= 1e-9 * std::max(std::fabs(x), std::fabs(y));
    }
    return a.kind == b.kind && a.text == b.text;
}

std::string shown(const Cell& c) {
    return c.kind + " '" + (c.text.size() > 160 ? c.text.substr(0, 160) + "..." : c.text) + "'";
}

// Every difference, labelled with table, record and field, so that a failure says what is wrong; "" when
// none.
std::string differences(const Dump& expected, const Dump& got, const std::string& label) {
    std::ostringstream out;
    int shownCount = 0;
    const auto report = [&](const std::string& what) {
        if (++shownCount <= 25) out << label << ": " << what << "\n";
    };
    if (expected.fields != got.fields) {
        std::string e, g;
        for (const auto& f : expected.fields)
            e += f + " ";
        for (const auto& f : got.fields)
            g += f + " ";
        report("fields differ: expected [" + e + "], got [" + g + "]");
        return out.str();
    }
    if (expected.records.size() != got.records.size())
        report("expected " + std::to_string(expected.records.size()) + " live records, got " +
               std::to_string(got.records.size()));
    for (std::size_t r = 0; r < std::min(expected.records.size(), got.records.size()); ++r)
        for (std::size_t f = 0; f < expected.fields.size(); ++f) {
            const Cell missing{"missing", ""};
            const Cell& e = f < expected.records[r].size() ? expected.records[r][f] : missing;
            const Cell& g = f < got.records[r].size() ? got.records[r][f] : missing;
            if (!sameCell(e, g))
                report("live record " + std::to_string(r) + " field " + expected.fields[f] + ": expected " +
                       shown(e) + ", got " + shown(g));
        }
    if (expected.deleted >= 0 && got.deleted >= 0 && expected.deleted != got.deleted)
        report("expected " + std::to_string(expected.deleted) + " deleted records, got " +
               std::to_string(got.deleted));
    if (expected.count >= 0 && got.count >= 0 && expected.count != got.count)
        report("expected feature count " + std::to_string(expected.count) + ", got " +
               std::to_string(got.count));
    if (shownCount > 25) out << label << ": ... " << shownCount - 25 << " more differences\n";
    return out.str();
}

// ogrinfo's view of a table: no memo support (memo columns show block numbers, so they are left out),
// logical values as the letters T/F ('?' when unset), empty text as Null, deleted records skipped but
// counted in the feature count.
Dump forOgr(Dump d, const std::vector<Field>& visible) {
    for (std::size_t f = visible.size(); f-- > 0;) {
        const bool memo = isMemoType(visible[f].type), logical = visible[f].type == 'L';
        if (memo) d.fields.erase(d.fields.begin() + static_cast<long>(f));
        for (auto& row : d.records) {
            if (f >= row.size()) continue;
            Cell& c = row[f];
            if (memo)
                row.erase(row.begin() + static_cast<long>(f));
            else if (logical && c.kind == "bool")
                c = {"text", c.text == "true" ? "T" : "F"};
            else if ((logical && c.kind == "text" && c.text == "?") || (c.kind == "text" && c.text.empty()))
                c = {"null", ""};
        }
    }
    if (d.deleted >= 0) {
        d.count = static_cast<long>(d.records.size()) + d.deleted;
        d.deleted = -1;
    }
    return d;
}

std::vector<Field> visibleFields(const fs::path& path) {
    auto t = Table::open(path);
    std::vector<Field> out;
    for (auto i : t->visibleFields())
        out.push_back(t->fields()[i]);
    return out;
}

// Warnings about real trouble; python3-dbf leaves out the end-of-file marker, which is only noted.
std::string warningsOf(const Table& t) {
    std::string all;
    for (const auto& w : t.warnings())
        if (w.find("end-of-file marker") == std::string::npos) all += w + "\n";
    return all;
}

// ---- Tables this layer writes ----

std::string longMemo(const std::string& line, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += printed("%03d ", i) + line + (i + 1 < lines ? "\r\n" : "");
    return text;
}

std::vector<std::uint8_t> encoded(Table& t, std::vector<std::uint8_t> record,
                                  const std::vector<Value>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        t.encode(record, t.visibleFields()[i], values[i]);
    return record;
}

Dump dumpFrom(const std::vector<std::string>& fields, const std::vector<std::vector<Value>>& rows,
              long deleted) {
    Dump d;
    d.fields = fields;
    d.deleted = deleted;
    for (const auto& row : rows) {
        auto& cells = d.records.emplace_back();
        for (const auto& v : row)
            cells.push_back(cellOf(v));
    }
    return d;
}

const std::vector<std::string> kSampleFields{"NAME", "AMOUNT", "QTY", "RATIO", "BORN", "OK", "NOTE"};

// Creates a table with C N F D L M fields in a code page, appends, deletes and rewrites records, and returns
// what an outside reader must find in it.
Dump writeSampleTable(const fs::path& path, const std::string& codePage,
                      const std::vector<std::string>& texts) {
    auto t = Table::create(path,
                           {{"NAME", 'C', 40},
                            {"AMOUNT", 'N', 12, 2},
                            {"QTY", 'N', 7},
                            {"RATIO", 'F', 15, 5},
                            {"BORN", 'D'},
                            {"OK", 'L'},
                            {"NOTE", 'M'}},
                           codePage);
    std::vector<std::vector<Value>> rows{
        {texts[0], 1234.5, std::int64_t{-17}, 0.12345, Date{1999, 12, 31}, true, longMemo(texts[1], 30)},
        {texts[1], -0.25, std::int64_t{0}, -3.5, Date{2024, 2, 29}, false, "short memo " + texts[2]},
        {std::string(), Null{}, Null{}, Null{}, Null{}, Null{}, Null{}},
        {std::string("to be deleted"), 1.0, std::int64_t{1}, 1.0, Date{2000, 1, 1}, true,
         std::string("gone")},
    };
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(t->appendRecord(r == 2 ? t->blankRecord() : encoded(*t, t->blankRecord(), rows[r])), r);
    t->setDeleted(3, true);
    // Rewriting a record with a new memo appends new memo blocks and leaves the old ones orphaned.
    rows[1] = {texts[2],         99.99, std::int64_t{1234567}, 12345.6789,
               Date{1900, 1, 1}, true,  longMemo(texts[0], 12)};
    const std::vector<std::uint8_t> old(t->recordBytes(1).begin(), t->recordBytes(1).end());
    t->writeRecord(1, encoded(*t, old, rows[1]));
    t->sync();
    rows.pop_back();
    return dumpFrom(kSampleFields, rows, 1);
}

struct SampleText {
    std::string codePage;
    std::vector<std::string> texts;
};

const std::vector<SampleText> kSamples{
    {"CP1252", {"Müller, Straße, Öl — 5 €", "Åse Ødegård, œuvre", "Ça coûte 3 € à Genève"}},
    {"CP1250", {"Đorđe Čučković, Šabac", "Zażółć gęślą jaźń", "Příliš žluťoučký kůň"}},
    {"CP866", {"Съешь же ещё этих булок", "ЁЛКА ёлка Ёж", "Широкая электрификация"}},
};

// A value of the field's type that fits it, for changing fixture copies field by field.
Value sampleFor(const Field& f, int k) {
    switch (f.type) {
    case 'C':
        return std::string(k == 0 ? "Changed" : "Added").substr(0, f.length);
    case 'N':
    case 'F':
        return f.decimals > 0 ? Value(k == 0 ? 7.5 : 3.5) : Value(std::int64_t{k == 0 ? 7 : 3});
    case 'D':
        return k == 0 ? Date{2024, 2, 29} : Date{1999, 12, 31};
    case 'L':
        return k == 0;
    case 'M':
        return k == 0 ? longMemo("Grüße aus Köln, Zürich und Malmö", 25) : std::string("kurz");
    default:
        return Null{};
    }
}

Dump withoutField(Dump d, const std::string& name) {
    const auto at = std::find(d.fields.begin(), d.fields.end(), name) - d.fields.begin();
    d.fields.erase(d.fields.begin() + at);
    for (auto& row : d.records)
        row.erase(row.begin() + at);
    return d;
}

Dump withField(Dump d, const std::string& name, const Cell& value) {
    d.fields.push_back(name);
    for (auto& row : d.records)
        row.push_back(value);
    return d;
}

} // namespace

// ---- Reading what others read and wrote ----

TEST(Interop, EveryFixtureReadsAsDbfreadReadsIt) {
    const auto tables = testsupport::fixtureTables();
    ASSERT_FALSE(tables.empty());
    for (const auto& path : tables) {
        SCOPED_TRACE(path.string());
        auto table = Table::open(path);
        EXPECT_EQ(differences(dbfreadOf(path), dumpOf(*table), path.filename().string()), "");
    }
}

TEST(Interop, TablesWrittenByPythonDbfReadBack) {
    for (const std::string variant :
         {"db3_cp1252", "db3_cp866", "vfp_cp1250", "vfp_cp1251", "fp_cp852", "clp_cp850"}) {
        SCOPED_TRACE(variant);
        TempDir dir;
        const Dump expected = runScript("dbf_write.py", {dir.path().string(), variant});
        ASSERT_FALSE(expected.records.empty());
        auto table = Table::open(dir / (variant + ".dbf"));
        EXPECT_EQ(warningsOf(*table), "");
        EXPECT_FALSE(table->codePageDetected()) << "the language driver id names the code page";
        EXPECT_EQ(differences(expected, dumpOf(*table), variant), "");
    }
}

// ---- What this layer writes, read by others ----

TEST(Interop, CreatedTablesReadBackWithDbfreadAndOgrinfo) {
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.codePage);
        TempDir dir;
        const fs::path path = dir / "people.dbf";
        const Dump expected = writeSampleTable(path, sample.codePage, sample.texts);
        EXPECT_EQ(differences(expected, testsupport::dbfread(path, ""), "dbfread " + sample.codePage), "");
        const auto fields = visibleFields(path);
        EXPECT_EQ(
            differences(forOgr(expected, fields), forOgr(ogrOf(path), fields), "ogrinfo " + sample.codePage),
            "");
        // The table and its memo file are dBASE III as created; our reader agrees with the others.
        auto table = Table::open(path);
        EXPECT_EQ(table->header().version, 0x83);
        EXPECT_EQ(differences(expected, dumpOf(*table), "ours " + sample.codePage), "");
    }
}

TEST(Interop, ChangedFixtureCopiesReadBackWithDbfreadAndOgrinfo) {
    for (const std::string name : {"dbase_03.dbf", "dbase_83.dbf", "dbase_8b.dbf"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const fs::path path = dir.copyFixture("dbf-gem/" + name);
        Dump expected = dbfreadOf(path);
        ASSERT_GE(expected.records.size(), 3u);
        std::vector<Value> first, added;
        {
            auto t = Table::open(path, OpenMode::ReadWrite);
            for (auto i : t->visibleFields()) {
                first.push_back(sampleFor(t->fields()[i], 0));
                added.push_back(sampleFor(t->fields()[i], 1));
            }
            const std::vector<std::uint8_t> old(t->recordBytes(0).begin(), t->recordBytes(0).end());
            t->writeRecord(0, encoded(*t, old, first));
            t->setDeleted(1, true);
            t->appendRecord(encoded(*t, t->blankRecord(), added));
            t->sync();
        }
        const Dump changed = dumpFrom(expected.fields, {first, added}, 0);
        expected.records[0] = changed.records[0];
        expected.records.erase(expected.records.begin() + 1);
        expected.records.push_back(changed.records[1]);
        expected.deleted += 1;
        EXPECT_EQ(differences(expected, dbfreadOf(path), "dbfread " + name), "");
        const auto fields = visibleFields(path);
        EXPECT_EQ(differences(forOgr(expected, fields), forOgr(ogrOf(path), fields), "ogrinfo " + name), "");
    }
}

TEST(Interop, FixturesWithAProductionIndexAreNotChanged) {
    TempDir dir;
    const fs::path path = dir.copyFixture("dbf-gem/dbase_30.dbf");
    const auto before = testsupport::snapshot(dir.path());
    {
        auto t = Table::open(path, OpenMode::ReadWrite);
        auto record = t->blankRecord();
        try {
            t->encode(record, 0, std::string("x"));
            t->appendRecord(record);
            ADD_FAILURE() << "a table flagged with a structural .cdx was changed";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
            EXPECT_TRUE(contains(e.what(), "dbase_30.cdx")) << e.what();
        }
        EXPECT_THROW(t->setDeleted(0, true), Error);
    }
    try {
        restructure(path, {{"ACCESSNO", 'C', 15}});
        ADD_FAILURE() << "a table flagged with a structural .cdx was restructured";
    } catch (const Error& e) {
        EXPECT_TRUE(contains(e.what(), "dbase_30.cdx")) << e.what();
    }
    EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(dir.path())), "");
}

TEST(Interop, RestructuredTablesReadBackWithDbfreadAndOgrinfo) {
    struct Case {
        std::string fixture; // "" for a table this layer creates
        std::string dropped;
    };
    for (const auto& c :
         {Case{"", "QTY"}, Case{"dbase_83.dbf", "THUMBNAIL"}, Case{"dbase_8b.dbf", "LOGICAL"}}) {
        SCOPED_TRACE(c.fixture.empty() ? "created" : c.fixture);
        TempDir dir;
        fs::path path = dir / "people.dbf";
        if (c.fixture.empty())
            writeSampleTable(path, "CP1250", kSamples[1].texts);
        else
            path = dir.copyFixture("dbf-gem/" + c.fixture);
        const Dump before = dbfreadOf(path);
        const Dump ogrBefore = ogrOf(path);
        std::vector<FieldSpec> wanted;
        for (const auto& f : visibleFields(path))
            if (f.name != c.dropped) wanted.push_back({f.name, f.type, f.length, f.decimals});
        const std::vector<FieldSpec> added{{"EXTRA_C", 'C', 12},
                                           {"EXTRA_N", 'N', 8, 2},
                                           {"EXTRA_D", 'D'},
                                           {"EXTRA_L", 'L'},
                                           {"EXTRA_M", 'M'}};
        wanted.insert(wanted.end(), added.begin(), added.end());
        restructure(path, wanted);

        Dump expected = withoutField(before, c.dropped);
        Dump ogrExpected = withoutField(ogrBefore, c.dropped);
        for (const auto& f : added) {
            expected = withField(expected, f.name, f.type == 'C' ? Cell{"text", ""} : Cell{"null", ""});
            ogrExpected = withField(ogrExpected, f.name, Cell{"null", ""});
        }
        EXPECT_EQ(differences(expected, dbfreadOf(path), "dbfread"), "");
        const auto fields = visibleFields(path);
        EXPECT_EQ(differences(forOgr(ogrExpected, fields), forOgr(ogrOf(path), fields), "ogrinfo"), "");
        EXPECT_EQ(testsupport::names(dir.path()).count(path.filename().string() + ".new"), 0u)
            << "a temporary table was left behind";
    }
}

// ---- Refusals change nothing ----

TEST(Interop, RefusedValuesLeaveTheFilesByteIdentical) {
    struct Refusal {
        std::string field;
        Value value;
        std::string also = {}; // what else the message must name
    };
    struct Case {
        std::string fixture;
        std::vector<Refusal> refusals;
    };
    // A user editing a wide table needs to know which column refused the value, and for text the code
    // page cannot store, which character.
    const std::vector<Case> cases{
        {"",
         {{"NAME", std::string(41, 'x')},
          {"NAME", std::string("Tōkyō 東京"), "'ō'"}, // not in CP1250
          {"AMOUNT", 12345678901.0},
          {"QTY", std::int64_t{12345678}},
          {"QTY", std::string("12x")},
          {"RATIO", -1e12},
          {"BORN", Date{2023, 2, 30}},
          {"BORN", std::string("2023-02-30")},
          {"BORN", Date{2023, 13, 1}},
          {"NOTE", std::string("Москва 東京")},
          {"NOTE", std::string("a dBASE III memo ends at \x1A, so it cannot hold one")}}},
        {"dbase_83.dbf",
         {{"CODE", std::string(51, 'c')},
          {"NAME", std::string("東京")},
          {"PRICE", 1e12},
          {"DESC", std::string("東京")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture.empty() ? "created" : c.fixture);
        TempDir dir;
        fs::path path = dir / "people.dbf";
        if (c.fixture.empty())
            writeSampleTable(path, "CP1250", kSamples[1].texts);
        else
            path = dir.copyFixture("dbf-gem/" + c.fixture);
        const auto before = testsupport::snapshot(dir.path());
        {
            auto t = Table::open(path, OpenMode::ReadWrite);
            for (const auto& r : c.refusals) {
                SCOPED_TRACE(r.field);
                const int field = t->fieldIndex(r.field);
                ASSERT_GE(field, 0);
                std::vector<std::uint8_t> record(t->recordBytes(0).begin(), t->recordBytes(0).end());
                const auto original = record;
                try {
                    t->encode(record, static_cast<std::size_t>(field), r.value);
                    ADD_FAILURE() << "value accepted: " << shown(cellOf(r.value));
                } catch (const Error& e) {
                    EXPECT_TRUE(contains(e.what(), r.field) && contains(e.what(), r.also))
                        << "the message does not name the field: " << e.what();
                }
                EXPECT_EQ(record, original) << "the record buffer changed";
            }
        }
        EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(dir.path())), "");
    }
}

TEST(Interop, FailedRestructureLeavesTheFilesByteIdentical) {
    TempDir dir;
    const fs::path path = dir / "people.dbf";
    writeSampleTable(path, "CP1252", kSamples[0].texts);
    const auto before = testsupport::snapshot(dir.path());
    std::vector<FieldSpec> base;
    for (const auto& f : visibleFields(path))
        base.push_back({f.name, f.type, f.length, f.decimals});
    struct Case {
        FieldSpec extra;
        std::string named;     // what the message must name
        bool replaces = false; // the first field, NAME, instead of one more
    };
    for (const auto& c : {Case{{"ELEVENCHARS", 'C', 5}, "ELEVENCHARS"}, Case{{"NAME", 'C', 5}, "NAME"},
                          Case{{"TOO_LONG", 'C', 300}, "TOO_LONG"}, Case{{"WIDE", 'N', 25}, "WIDE"},
                          Case{{"NAME", 'C', 3}, "NAME", true}}) { // narrower than the names it holds
        SCOPED_TRACE(c.extra.name);
        auto wanted = base;
        if (c.replaces)
            wanted[0] = c.extra;
        else
            wanted.push_back(c.extra);
        try {
            restructure(path, wanted);
            ADD_FAILURE() << "restructure accepted " << c.extra.name;
        } catch (const Error& e) {
            EXPECT_TRUE(contains(e.what(), c.named)) << "the message does not name the field: " << e.what();
        }
        EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(dir.path())), "");
    }
}
