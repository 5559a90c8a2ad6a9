// Prints dBASE tables as text: version, code page, fields and every record, for a quick look at a file.
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string show(const xbase::Value& v) {
    char buf[64];
    if (xbase::isNull(v)) return "Null";
    if (auto s = std::get_if<std::string>(&v)) {
        std::string one = *s;
        for (auto& c : one)
            if (c == '\r' || c == '\n') c = ' ';
        return one;
    }
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (auto b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    if (auto d = std::get_if<xbase::Date>(&v)) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d->year, d->month, d->day);
        return buf;
    }
    if (auto t = std::get_if<xbase::DateTime>(&v)) {
        const int s = t->msecOfDay / 1000;
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t->date.year, t->date.month,
                      t->date.day, s / 3600, s / 60 % 60, s % 60);
        return buf;
    }
    return "(" + std::to_string(std::get<xbase::Bytes>(v).size()) + " bytes)";
}

void dump(const char* path) {
    auto table = xbase::Table::open(path);
    const auto& h = table->header();
    std::printf("%s: version 0x%02X, code page %s, %u records\n", path, h.version,
                table->codePage().name().c_str(), table->recordCount());
    for (const auto& w : table->warnings())
        std::printf("  warning: %s\n", w.c_str());
    std::string line;
    for (std::size_t i : table->visibleFields()) {
        const auto& f = table->fields()[i];
        line += f.name + " " + f.type + "(" + std::to_string(f.length) +
                (f.decimals ? "," + std::to_string(f.decimals) : "") + ")  ";
    }
    std::printf("  %s\n", line.c_str());
    for (std::uint32_t r = 0; r < table->recordCount(); ++r) {
        line = table->isDeleted(r) ? "* " : "  ";
        for (std::size_t i : table->visibleFields()) {
            try {
                line += show(table->value(r, i));
            } catch (const xbase::Error& e) {
                line += std::string("#error: ") + e.what();
            }
            line += " | ";
        }
        std::printf("%s\n", line.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: brindle-dump TABLE.dbf...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        try {
            dump(argv[i]);
        } catch (const xbase::Error& e) {
            std::fprintf(stderr, "brindle-dump: %s\n", e.what());
            status = 1;
        }
    }
    return status;
}
