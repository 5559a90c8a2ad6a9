// New tables (dBASE III, the format every reader knows) and structural changes by copy and rename.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#include "xbase/Error.h"
#include "xbase/Table.h"

namespace fs = std::filesystem;

namespace xbase {

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

Field checkedField(const FieldSpec& want) {
    auto refuse = [&](const std::string& why) { throw Error(ErrorKind::Value, "Field " + want.name + ": " + why); };
    if (want.name.empty())
        throw Error(ErrorKind::Value, "A field needs a name.");
    if (want.name.size() > 10)
        refuse("a dBASE field name has at most 10 characters.");
    if (!std::isalpha(static_cast<unsigned char>(want.name[0])))
        refuse("a field name must begin with a letter.");
    for (unsigned char c : want.name)
        if (!std::isalnum(c) && c != '_')
            refuse("a field name may hold only letters, digits and '_'.");

    Field f;
    f.name = want.name;
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(want.type)));
    f.length = want.length;
    f.decimals = want.decimals;
    switch (f.type) {
    case 'C':
        if (f.length < 1 || f.length > 254)
            refuse("a character field holds 1 to 254 characters.");
        f.decimals = 0;
        break;
    case 'N':
    case 'F':
        if (f.length < 1 || f.length > 20)
            refuse("a numeric field is 1 to 20 characters wide.");
        if (f.decimals > 0 && f.decimals + 2 > f.length)
            refuse("the decimals do not fit the field's width.");
        break;
    case 'D': f.length = 8; f.decimals = 0; break;
    case 'L': f.length = 1; f.decimals = 0; break;
    case 'M': f.length = 10; f.decimals = 0; break;
    default:
        throw Error(ErrorKind::Unsupported, "Field " + want.name + ": a dBASE III table cannot hold fields of type " +
                                                std::string(1, f.type) + ".");
    }
    return f;
}

void writeNewFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throw Error(ErrorKind::Io, "Cannot create '" + path.string() + "': " + std::strerror(errno));
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    const bool ok = n == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        fs::remove(path);
        throw Error(ErrorKind::Io, "Cannot write '" + path.string() + "'.");
    }
}

// Writes the header, end marker and (when needed) memo file of an empty dBASE III table.
void createFiles(const fs::path& path, const fs::path& memoPath, const std::vector<FieldSpec>& wanted,
                 const std::string& codePage, bool writeCpg) {
    std::vector<Field> fields;
    for (const auto& want : wanted) {
        Field f = checkedField(want);
        for (const auto& other : fields)
            if (sameName(other.name, f.name))
                throw Error(ErrorKind::Value, "Field " + f.name + " is named twice.");
        fields.push_back(f);
    }
    (void)CodePage::byName(codePage); // refuse a code page we could not write in, before any file exists
    const bool hasMemo = std::any_of(fields.begin(), fields.end(), [](const Field& f) { return f.type == 'M'; });
    const std::uint8_t driver = CodePage::languageDriverFor(codePage);
    std::vector<std::uint8_t> bytes = buildDBase3Header(fields, driver, hasMemo, 0, today());
    bytes.push_back(0x1A);
    if (hasMemo)
        MemoFile::create(memoPath, MemoFormat::DBase3, 0, path.stem().string());
    try {
        writeNewFile(path, bytes);
    } catch (...) {
        if (hasMemo)
            fs::remove(memoPath);
        throw;
    }
    if (driver == 0 && writeCpg) {
        // No language driver id names this code page: say it in a .cpg file, as GDAL and others read it.
        fs::path cpg = path;
        cpg.replace_extension(".cpg");
        std::ofstream(cpg, std::ios::binary) << codePage << "\r\n";
    }
}

fs::path besideWith(const fs::path& path, const std::string& extension) {
    fs::path p = path;
    p.replace_extension(extension);
    return p;
}

} // namespace

std::unique_ptr<Table> Table::create(const fs::path& path, const std::vector<FieldSpec>& fields,
                                     const std::string& codePage) {
    std::error_code ec;
    if (fs::exists(path, ec))
        throw Error(ErrorKind::Io, "Table '" + path.string() + "' already exists.");
    createFiles(path, besideWith(path, ".dbt"), fields, codePage, true);
    return open(path, OpenMode::ReadWrite);
}

void restructure(const fs::path& path, const std::vector<FieldSpec>& wanted) {
    auto old = Table::open(path, OpenMode::ReadWrite);
    old->checkWritable();
    const Family family = old->header().family;
    if (family != Family::DBase3 && family != Family::DBase4 && family != Family::FoxPro)
        throw Error(ErrorKind::Unsupported, "Fields cannot be added to or dropped from '" + path.filename().string() +
                                                "': this kind of table is not rewritten by this program.");
    for (const auto& f : old->fields())
        if (f.type != 'C' && f.type != 'N' && f.type != 'F' && f.type != 'D' && f.type != 'L' && f.type != 'M')
            throw Error(ErrorKind::Unsupported, "Fields cannot be added to or dropped from '" +
                                                    path.filename().string() + "': its field " + f.name +
                                                    " has a type a dBASE III table cannot hold.");

    const fs::path newTable = fs::path(path.string() + ".new");
    const fs::path newMemo = fs::path(besideWith(path, ".dbt").string() + ".new");
    const std::optional<fs::path> oldMemo = findMemoFile(path);
    auto cleanUp = [&] {
        std::error_code ec;
        fs::remove(newTable, ec);
        fs::remove(newMemo, ec);
    };
    cleanUp(); // leftovers of an earlier failure
    try {
        // The old table's .cpg, if any, stays and goes on naming the code page.
        createFiles(newTable, newMemo, wanted, old->codePage().name(), false);
        bool hasMemo = false;
        {
            auto fresh = Table::open(newTable, OpenMode::ReadWrite);
            // Table::open looks for the memo beside the table by its own name; attach the new one explicitly.
            hasMemo = fresh->header().memoFormat.has_value();
            if (hasMemo)
                fresh->attachMemo(MemoFile::open(newMemo, MemoFormat::DBase3, true));
            fresh->useCodePage(old->codePage());
            std::vector<int> source;
            for (const auto& f : fresh->fields())
                source.push_back(old->fieldIndex(f.name));
            for (std::uint32_t r = 0; r < old->recordCount(); ++r) {
                std::vector<std::uint8_t> record = fresh->blankRecord();
                record[0] = old->recordBytes(r)[0] == '*' ? '*' : ' ';
                for (std::size_t i = 0; i < source.size(); ++i)
                    if (source[i] >= 0)
                        fresh->encode(record, i, old->value(r, static_cast<std::size_t>(source[i])));
                fresh->appendRecord(record);
            }
            fresh->sync();
        }
        old.reset();
        const fs::path memoTarget = oldMemo ? fs::path(besideWith(*oldMemo, ".dbt")) : besideWith(path, ".dbt");
        if (hasMemo)
            fs::rename(newMemo, memoTarget);
        fs::rename(newTable, path);
        if (oldMemo && (!hasMemo || *oldMemo != memoTarget))
            fs::remove(*oldMemo);
    } catch (const fs::filesystem_error& e) {
        cleanUp();
        throw Error(ErrorKind::Io, std::string("Cannot change the structure of '") + path.string() + "': " + e.what());
    } catch (...) {
        cleanUp();
        throw;
    }
}

} // namespace xbase
