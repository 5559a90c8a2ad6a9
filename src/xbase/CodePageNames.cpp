// Names of code pages: language driver ids, .cpg files, the pages a user can choose, the system's page.
#include "xbase/Ascii.h"
#include "xbase/CodePage.h"
#include "xbase/CodePageTables.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace xbase {

namespace {

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::optional<std::string> CodePage::nameForLanguageDriver(std::uint8_t id) {
    for (const auto& d : cptables::languageDrivers())
        if (d.id == id) return std::string(d.codePage);
    return std::nullopt;
}

std::uint8_t CodePage::languageDriverFor(const std::string& requested) {
    const std::string name = cptables::canonicalName(requested);
    for (const auto& d : cptables::languageDrivers())
        if (d.preferred && name == d.codePage) return d.id;
    return 0;
}

std::vector<CodePage::Known> CodePage::known() {
    std::vector<Known> pages;
    for (const auto& p : cptables::knownPages())
        pages.push_back({p.name, p.description});
    return pages;
}

std::string CodePage::forSystemLanguage() {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    // language[_TERRITORY][.charset][@modifier]
    const std::string language = ascii::lower(locale.substr(0, locale.find_first_of("_.@")));
    const std::size_t at = locale.find('@');
    const std::string modifier = at == std::string::npos ? "" : ascii::lower(locale.substr(at + 1));
    if (language == "sr") return modifier == "latin" ? "CP1250" : "CP1251";
    static const std::map<std::string, std::string> pages = {
        {"pl", "CP1250"}, {"cs", "CP1250"}, {"sk", "CP1250"}, {"hu", "CP1250"}, {"sl", "CP1250"},
        {"hr", "CP1250"}, {"bs", "CP1250"}, {"ro", "CP1250"}, {"sq", "CP1250"}, {"ru", "CP1251"},
        {"uk", "CP1251"}, {"be", "CP1251"}, {"bg", "CP1251"}, {"mk", "CP1251"}, {"el", "CP1253"},
        {"tr", "CP1254"}, {"az", "CP1254"}, {"he", "CP1255"}, {"ar", "CP1256"}, {"fa", "CP1256"},
        {"ur", "CP1256"}, {"et", "CP1257"}, {"lv", "CP1257"}, {"lt", "CP1257"}, {"vi", "CP1258"},
        {"th", "CP874"},  {"ja", "CP932"},  {"ko", "CP949"},
    };
    if (language == "zh") {
        const std::string territory = locale.size() > 3 && locale[2] == '_' ? locale.substr(3, 2) : "";
        return territory == "TW" || territory == "HK" ? "CP950" : "CP936";
    }
    if (const auto it = pages.find(language); it != pages.end()) return it->second;
    return "CP1252";
}

std::optional<std::string> CodePage::nameFromCpgFile(const fs::path& dbfPath) {
    const fs::path dir = dbfPath.has_parent_path() ? dbfPath.parent_path() : fs::path(".");
    const std::string stem = dbfPath.stem().string();
    std::optional<fs::path> exact, anyCase;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (ascii::upper(p.extension().string()) != ".CPG") continue;
        if (p.stem().string() == stem)
            exact = p;
        else if (ascii::upper(p.stem().string()) == ascii::upper(stem))
            anyCase = p;
    }
    const std::optional<fs::path> cpg = exact ? exact : anyCase;
    if (!cpg) return std::nullopt;
    std::ifstream in(*cpg, std::ios::binary);
    std::string line;
    std::getline(in, line);
    if (const auto cr = line.find('\r'); cr != std::string::npos) line.resize(cr);
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    const std::string text(trimmed(line));
    if (text.empty()) return std::nullopt;

    // Every spelling other programs write: "1252", "ANSI 1250", "OEM 852", "CP 1250", "windows-1250",
    // "8859-2", "ISO 8859-2", "UTF-8", ...
    return cptables::canonicalName(text);
}

// Level-7 tables may leave the driver id at 0 and name the driver instead (DB437US0, DBWINUS0, ...).
std::optional<std::string> CodePage::nameForDriverName(const std::string& name) {
    if (name.rfind("DBWIN", 0) == 0) return "CP1252";
    if (name.size() >= 5 && name.rfind("DB", 0) == 0 && std::isdigit(static_cast<unsigned char>(name[2])))
        return "CP" + name.substr(2, 3);
    return std::nullopt;
}

std::optional<std::string> CodePage::markedIn(const fs::path& dbfPath) {
    if (auto cpg = nameFromCpgFile(dbfPath)) return cpg;
    std::ifstream in(dbfPath, std::ios::binary);
    char header[64] = {};
    in.read(header, sizeof header);
    if (in.gcount() < 32) return std::nullopt;
    if (auto page = nameForLanguageDriver(static_cast<std::uint8_t>(header[29]))) return page;
    const auto version = static_cast<unsigned char>(header[0]);
    if ((version == 0x04 || version == 0x8C) && in.gcount() == 64)
        return nameForDriverName(std::string(header + 32, strnlen(header + 32, 32)));
    return std::nullopt;
}

std::string CodePage::canonicalName(std::string_view name) {
    return cptables::canonicalName(name);
}

} // namespace xbase
