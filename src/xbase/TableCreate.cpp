// New tables: dBASE III, the format every reader knows.
#include "xbase/Ascii.h"
#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/FileIo.h"
#include "xbase/Restructure.h"
#include "xbase/Table.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace xbase {

namespace {

Field checkedField(const FieldSpec& want) {
    auto refuse = [&](const std::string& why) {
        throw Error(ErrorKind::Value, "Field '" + want.name + "': " + why);
    };
    if (want.name.empty()) throw Error(ErrorKind::Value, "A field needs a name.");
    if (want.name.size() > 10) refuse("a dBASE field name has at most 10 characters.");
    if (!std::isalpha(static_cast<unsigned char>(want.name[0])))
        refuse("a field name must begin with a letter.");
    for (unsigned char c : want.name)
        if (!std::isalnum(c) && c != '_') refuse("a field name may hold only letters, digits and '_'.");

    Field f;
    f.name = want.name;
    f.type = ascii::upper(want.type);
    f.length = want.length;
    f.decimals = want.decimals;
    switch (f.type) {
    case 'C':
        if (f.length < 1 || f.length > 254) refuse("a character field holds 1 to 254 characters.");
        f.decimals = 0;
        break;
    case 'N':
    case 'F':
        if (f.length < 1 || f.length > 20) refuse("a numeric field is 1 to 20 characters wide.");
        if (f.decimals > 0 && f.decimals + 2 > f.length) refuse("the decimals do not fit the field's width.");
        break;
    case 'D':
        f.length = 8;
        f.decimals = 0;
        break;
    case 'L':
        f.length = 1;
        f.decimals = 0;
        break;
    case 'M':
        f.length = 10;
        f.decimals = 0;
        break;
    default:
        throw Error(ErrorKind::Unsupported, "Field '" + want.name +
                                                "': a dBASE III table cannot hold fields of type " +
                                                std::string(1, f.type) + ".");
    }
    return f;
}

// A new file with these bytes, synced; never over an existing one.
void writeNewFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    io::Fd fd = io::tryOpen(path, O_WRONLY | O_CREAT | O_EXCL);
    if (!fd) io::fail("Cannot create", path, errno);
    try {
        io::write(fd.get(), bytes.data(), bytes.size(), 0, path);
        io::sync(fd.get(), path);
    } catch (...) {
        fd.reset();
        ::unlink(path.c_str());
        throw;
    }
}

} // namespace

void createTableFiles(const fs::path& path, const fs::path& memoPath, const std::vector<FieldSpec>& wanted,
                      const std::string& codePage, bool writeCpg) {
    std::vector<Field> fields;
    for (const auto& want : wanted) {
        Field f = checkedField(want);
        for (const auto& other : fields)
            if (ascii::equalsIgnoreCase(other.name, f.name))
                throw Error(ErrorKind::Value, "Field '" + f.name + "' is named twice.");
        fields.push_back(f);
    }
    (void)CodePage::byName(codePage); // refuse a code page we could not write in, before any file exists
    const bool hasMemo =
        std::any_of(fields.begin(), fields.end(), [](const Field& f) { return f.type == 'M'; });
    const std::uint8_t driver = CodePage::languageDriverFor(codePage);
    std::vector<std::uint8_t> bytes = buildDBase3Header(fields, driver, hasMemo, 0, today());
    bytes.push_back(0x1A);
    // The memo file first: a crash in between leaves a memo file nobody reads, never a table without one.
    // What fails takes away only the files this call made (another process may have made the others).
    if (hasMemo) MemoFile::create(memoPath, MemoFormat::DBase3, 0, path.stem().string());
    std::vector<fs::path> made;
    if (hasMemo) made.push_back(memoPath);
    try {
        writeNewFile(path, bytes);
        made.push_back(path);
        if (driver == 0 && writeCpg) {
            // No language driver id names this code page: say it in a .cpg file, as GDAL and others read it.
            fs::path cpg = path;
            cpg.replace_extension(".cpg");
            const std::string text = codePage + "\r\n";
            writeNewFile(cpg, std::vector<std::uint8_t>(text.begin(), text.end()));
            made.push_back(cpg);
        }
        io::syncFolder(io::folderOf(path));
    } catch (...) {
        std::error_code ec;
        for (const auto& file : made)
            fs::remove(file, ec);
        throw;
    }
}

std::unique_ptr<Table> Table::create(const fs::path& path, const std::vector<FieldSpec>& fields,
                                     const std::string& codePage) {
    std::error_code ec;
    if (fs::exists(path, ec)) throw Error(ErrorKind::Io, "Table '" + path.string() + "' already exists.");
    // A memo file, .cpg or journal of that name would be taken for the new table's: never overwrite or
    // adopt one.
    const auto companions = companionFiles(path);
    if (!companions.empty())
        throw Error(ErrorKind::Io, "Table '" + path.filename().string() + "' cannot be created: the file '" +
                                       companions.front().filename().string() +
                                       "', which would belong to it, is already in the folder.");
    fs::path memo = path;
    memo.replace_extension(".dbt");
    createTableFiles(path, memo, fields, codePage, true);
    return open(path, OpenMode::ReadWrite);
}

} // namespace xbase
