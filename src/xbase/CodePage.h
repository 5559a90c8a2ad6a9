// Code pages of dBASE text: the language driver ids, .cpg files, detection, and conversion to UTF-8.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xbase {

// Appends a code point to UTF-8 text.
void appendUtf8(std::string& out, char32_t cp);

class CodePage {
public:
    // A code page by name as iconv knows it ("CP1252", "CP437", "UTF-8", ...).
    // Throws Error(Unsupported) when the system cannot convert it.
    static CodePage byName(const std::string& name);
    static CodePage utf8() { return byName("UTF-8"); }

    // The code page a language driver id (header byte 29) stands for, e.g. 0x57 -> "CP1252";
    // nullopt for 0 and for ids no product assigned.
    static std::optional<std::string> nameForLanguageDriver(std::uint8_t id);
    // The language driver id to write for a code page name; 0 when there is none (UTF-8, ...).
    static std::uint8_t languageDriverFor(const std::string& name);
    // The code page named by a .cpg file beside the table (any case of the extension), if present.
    static std::optional<std::string> nameFromCpgFile(const std::filesystem::path& dbfPath);
    // The code page a level-7 driver name stands for (DB437US0 -> CP437, DBWINUS0 -> CP1252).
    static std::optional<std::string> nameForDriverName(const std::string& driverName);
    // The code page a table file names for itself: its .cpg file, else its language driver id, else
    // its level-7 driver name; nullopt when it names none (or cannot be read).
    static std::optional<std::string> markedIn(const std::filesystem::path& dbfPath);
    // The name this layer uses for a code page written any way ("cp1250", "ANSI 1250" -> "CP1250").
    static std::string canonicalName(std::string_view name);
    // The code page of a table's text, decided from its own bytes (field names, character fields,
    // text memos): UTF-8 when every high byte is part of valid UTF-8; otherwise the DOS or Windows
    // code page that reads the high bytes as letters. `dosFirst` (a table a DOS program wrote) gives
    // the DOS pages the benefit of the doubt where the text says little. Plain ASCII gives CP1252, or
    // CP437 with `dosFirst` (harmless for writing).
    static std::string detect(const std::vector<std::string_view>& samples, bool dosFirst = false);

    // The code pages a user can choose from: canonical name and what the page is for.
    struct Known {
        std::string name;
        std::string description;
    };
    static std::vector<Known> known();

    // The code page this system's language writes in, as a Windows program of that language would:
    // CP1250 for Polish, Czech, Croatian or Serbian in Latin letters, CP1251 for Russian or Serbian in
    // Cyrillic, ... and CP1252 where nothing says otherwise. Read from the locale environment
    // (LC_ALL, LC_CTYPE, LANG).
    static std::string forSystemLanguage();

    // Bytes in this code page to UTF-8; never fails. A byte the page leaves undefined reads as the C1
    // control of the same number (0x81 is U+0081), or above 0x9F as a private-use character, and is
    // written back as the same byte. In UTF-8 and multi-byte pages, bytes that start no character
    // read as U+FFFD.
    std::string decode(std::string_view bytes) const;
    // UTF-8 to bytes in this code page. Throws Error(CodePage) naming the first character that
    // cannot be represented; never substitutes '?'.
    std::string encode(std::string_view utf8) const;

    const std::string& name() const;
    // True when bytes below 0x80 are ASCII and text made only of them needs no conversion.
    bool asciiCompatible() const;

private:
    struct Impl;
    explicit CodePage(std::shared_ptr<const Impl> impl) : m_impl(std::move(impl)) {}
    std::shared_ptr<const Impl> m_impl;
};

} // namespace xbase
