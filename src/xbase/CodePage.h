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
    // The code page of a table's text, decided from its own bytes (the C field contents of its
    // records): UTF-8 when every high byte is part of valid UTF-8; otherwise the DOS or Windows code
    // page that reads the high bytes as letters. Plain ASCII gives CP1252 (harmless for writing).
    static std::string detect(const std::vector<std::string_view>& samples);

    // Bytes in this code page to UTF-8. Throws Error(CodePage) for bytes the page does not define.
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
