// Writes the bundled sample database: customers, products and orders of a small trading firm.
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using xbase::Date;
using xbase::FieldSpec;
using xbase::Null;
using xbase::Value;

namespace {

void fill(const fs::path& path, const std::vector<FieldSpec>& fields, const std::string& codePage,
          const std::vector<std::vector<Value>>& rows) {
    fs::remove(path);
    fs::path memo = path;
    fs::remove(memo.replace_extension(".dbt"));
    auto table = xbase::Table::create(path, fields, codePage);
    for (const auto& row : rows) {
        std::vector<std::uint8_t> record = table->blankRecord();
        for (std::size_t i = 0; i < row.size(); ++i)
            table->encode(record, i, row[i]);
        table->appendRecord(record);
    }
    table->sync();
}

Value num(std::int64_t v) {
    return v;
}
Value real(double v) {
    return v;
}
Value date(int y, int m, int d) {
    return Date{y, m, d};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-samples FOLDER\n");
        return 2;
    }
    const fs::path dir = argv[1];
    try {
        fs::create_directories(dir);
        fill(
            dir / "customers.dbf",
            {{"ID", 'N', 6, 0},
             {"NAME", 'C', 30, 0},
             {"CITY", 'C', 20, 0},
             {"COUNTRY", 'C', 15, 0},
             {"JOINED", 'D', 8, 0},
             {"ACTIVE", 'L', 1, 0},
             {"NOTES", 'M', 10, 0}},
            "CP1250",
            {{num(1), "Marković d.o.o.", "Čačak", "Srbija", date(1998, 3, 14), true,
              "Pays within 15 days.\r\nAsk for Đorđe in purchasing."},
             {num(2), "Müller & Söhne GmbH", "München", "Deutschland", date(2001, 11, 2), true, Null{}},
             {num(3), "Café Éclair", "Paris", "France", date(2005, 6, 30), false, "Closed for the summer."},
             {num(4), "Nowak Sp. z o.o.", "Łódź", "Polska", date(2012, 1, 9), true, Null{}},
             {num(5), "Kovač i sinovi", "Zagreb", "Hrvatska", Null{}, Null{}, "New customer, no orders yet."},
             {num(6), "Dvořák s.r.o.", "Brno", "Česko", date(2019, 9, 21), true, Null{}}});
        fill(dir / "products.dbf",
             {{"CODE", 'C', 8, 0},
              {"NAME", 'C', 30, 0},
              {"PRICE", 'N', 10, 2},
              {"INSTOCK", 'L', 1, 0},
              {"ADDED", 'D', 8, 0}},
             "CP1252",
             {{"P-100", "Brass hinge", real(2.35), true, date(1999, 1, 4)},
              {"P-101", "Steel bracket", real(4.10), true, date(1999, 1, 4)},
              {"P-205", "Oak shelf 80 cm", real(39.90), false, date(2003, 5, 17)},
              {"P-310", "Crème wax, 250 g", real(7.25), true, date(2010, 8, 1)},
              {"P-400", "Door handle (set)", real(18.00), true, date(2015, 2, 28)}});
        std::vector<std::vector<Value>> orders;
        const char* codes[] = {"P-100", "P-101", "P-205", "P-310", "P-400"};
        const double prices[] = {2.35, 4.10, 39.90, 7.25, 18.00};
        for (int i = 1; i <= 40; ++i) {
            const int product = (i * 7) % 5;
            const int qty = 1 + (i * 13) % 12;
            orders.push_back({num(1000 + i), num(1 + (i * 5) % 6), codes[product], num(qty),
                              date(2020 + i % 5, 1 + i % 12, 1 + (i * 3) % 28), real(qty * prices[product]),
                              i % 4 != 0});
        }
        fill(dir / "orders.dbf",
             {{"ID", 'N', 8, 0},
              {"CUSTOMER", 'N', 6, 0},
              {"PRODUCT", 'C', 8, 0},
              {"QTY", 'N', 5, 0},
              {"ODATE", 'D', 8, 0},
              {"AMOUNT", 'N', 12, 2},
              {"SHIPPED", 'L', 1, 0}},
             "CP1252", orders);
    } catch (const xbase::Error& e) {
        std::fprintf(stderr, "make-samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
