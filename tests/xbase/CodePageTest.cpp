// Tests of code pages: conversion against the iconv program, errors, driver ids, .cpg files, detection.
#include "xbase/CodePage.h"

#include "support/Bytes.h"
#include "support/Errors.h"
#include "support/Outside.h"
#include "support/TempDir.h"
#include "xbase/Error.h"

#include <gtest/gtest.h>
#include <map>
#include <tuple>

using testsupport::errorOf;
using xbase::CodePage;
using xbase::Error;
using xbase::ErrorKind;

namespace {

// Accented text of the languages each page serves, including capitals.
const std::map<std::string, std::string> kAccented = {
    {"CP437", "Müller Straße café Élodie naïve Ñandú ÄÖÜ ½ ╔═╗"},
    {"CP850", "Müller Straße café Élodie Ångström Øre ÀÁÂÃ ÊËÈ"},
    {"CP852", "Čačak Đorđe šećer žuto Łódź Gdańsk Dvořák Ůžasný Győr"},
    {"CP866", "Москва Иванов ЁЛКА ёлка щука Ъ №"},
    {"CP1250", "Čačak Đorđe šećer žuto Łódź Gdańsk Dvořák Ůžasný Győr „x“"},
    {"CP1251", "Москва Иванов ЁЛКА ёлка Ђорђе Љубљана «x» №"},
    {"CP1252", "Müller Straße Élodie cœur Øre Ñandú “x” €"},
    {"CP865", "Søren Ærø Ålborg"},
    {"CP861", "Þórður Ægir Íslensk"},
    {"CP737", "Αθήνα Ελλάδα"},
    {"CP857", "İstanbul Şişli ğüç"},
    {"CP1253", "Αθήνα Ελλάδα"},
    {"CP1254", "İstanbul Şişli ğüç"},
    {"CP1257", "Rīga Vilnius Šiauliai Tartu õun"},
    {"MACINTOSH", "Müller café Åsa"},
    {"CP860", "São João Açores"},
    {"CP863", "Québec Trois-Rivières"},
    {"CP874", "กรุงเทพ"},
    {"CP1255", "שלום ירושלים"},
    {"CP1256", "مرحبا القاهرة"},
    {"MAC-CYRILLIC", "Москва Иванов"},
    {"MAC-CENTRALEUROPE", "Čačak Łódź Dvořák"},
};

TEST(CodePage, SingleBytePagesAgreeWithIconvBothWays) {
    testsupport::TempDir dir;
    for (const auto& [name, text] : kAccented) {
        SCOPED_TRACE(name);
        const CodePage page = CodePage::byName(name);
        const std::string bytes = page.encode(text);
        EXPECT_EQ(page.decode(bytes), text);

        // The iconv program, not our tables, says what the bytes must be.
        testsupport::writeFile(dir / "in.txt", text);
        const auto r = testsupport::run({"iconv", "-f", "UTF-8", "-t", name, (dir / "in.txt").string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(bytes, r.out);
    }
}

TEST(CodePage, EveryByteDecodesAsTheIconvProgramReadsItAndUndefinedBytesSurvive) {
    testsupport::TempDir dir;
    const std::map<std::string, std::string> undefinedBytes = {
        {"CP437", ""},
        {"CP850", ""},
        {"CP852", ""},
        {"CP866", ""},
        {"CP1250", "\x81\x83\x88\x90\x98"},
        {"CP1251", "\x98"},
        {"CP1252", "\x81\x8D\x8F\x90\x9D"},
        {"CP1253", "\x81\x88\x8A\x8C\x8D\x8E\x8F\x90\x98\x9A\x9C\x9D\x9E\x9F\xAA\xD2\xFF"},
    };
    // What the system's converters make of a byte a page leaves undefined: the C1 control of the same
    // number, above those a private-use character.
    const auto standIn = [](unsigned b) {
        std::string utf8;
        const char32_t cp = b <= 0x9F ? b : 0xF700 + b;
        if (cp < 0x800)
            utf8 = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        else
            utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (cp & 0x3F))};
        return utf8;
    };
    for (const auto& [name, undefined] : undefinedBytes) {
        SCOPED_TRACE(name);
        const CodePage page = CodePage::byName(name);
        std::string all, defined, missing;
        for (int b = 1; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            all += byte;
            (undefined.find(byte) == std::string::npos ? defined : missing) += byte;
            if (undefined.find(byte) != std::string::npos) EXPECT_EQ(page.decode(byte), standIn(b)) << b;
        }
        EXPECT_EQ(page.encode(page.decode(all)), all); // every byte written back as it was
        testsupport::writeFile(dir / "bytes", defined);
        const auto r = testsupport::run({"iconv", "-f", name, "-t", "UTF-8", (dir / "bytes").string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(page.decode(defined), r.out);
        EXPECT_EQ(page.encode(r.out), defined);
    }
    // The 7-bit Yugoslav page gives ten ASCII places to letters.
    const CodePage yuscii = CodePage::byName("yuscii");
    EXPECT_EQ(yuscii.decode("@[\\]^`{|}~ Cacak"), "ŽŠĐĆČžšđćč Cacak");
    EXPECT_EQ(yuscii.encode("Čačak, Đorđe Šušić"), "^a~ak, \\or|e [u{i}");
    EXPECT_STREQ(errorOf<Error>([&] { yuscii.encode("a@b"); }).what(),
                 "The character '@' cannot be stored in code page YUSCII.");
}

TEST(CodePage, PagesWithoutIconvCodecUseKnownPositions) {
    const CodePage mazovia = CodePage::byName(*CodePage::nameForLanguageDriver(0x69));
    EXPECT_EQ(mazovia.encode("ąćęłńóśźż"), "\x86\x8D\x91\x92\xA4\xA2\x9E\xA6\xA7");
    EXPECT_EQ(mazovia.encode("ĄĆĘŁŃÓŚŹŻ"), "\x8F\x95\x90\x9C\xA5\xA3\x98\xA0\xA1");
    EXPECT_EQ(mazovia.decode("\x80\x81\xE1\xC9"), "Çüß╔"); // the rest is CP437

    const CodePage kamenicky = CodePage::byName(*CodePage::nameForLanguageDriver(0x68));
    EXPECT_EQ(kamenicky.encode("ČŘŠŽŤĎŇŮ čřšžťďňů"),
              "\x80\x9E\x9B\x92\x86\x85\xA5\xA6 \x87\xA9\xA8\x91\x9F\x83\xA4\x96");
    EXPECT_EQ(kamenicky.decode(kamenicky.encode("ľúbiť ĽÚBIŤ")), "ľúbiť ĽÚBIŤ");

    // Apple's Greek table, as Python's mac_greek codec has it.
    const CodePage macGreek = CodePage::byName(*CodePage::nameForLanguageDriver(0x98));
    const std::string greek = "Αθήνα ΕΛΛΑΔΑ άέήίόύώ";
    const auto r =
        testsupport::run({"/usr/bin/python3", "-c",
                          "import sys; sys.stdout.buffer.write(sys.argv[1].encode('mac_greek'))", greek});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(macGreek.encode(greek), r.out);
    EXPECT_EQ(macGreek.decode(r.out), greek);
}

TEST(CodePage, MultiByteAndUtf8Pages) {
    const CodePage sjis = CodePage::byName("CP932");
    EXPECT_EQ(sjis.encode("東京 ｶﾅ abc"), "\x93\x8C\x8B\x9E \xB6\xC5 abc");
    EXPECT_EQ(sjis.decode("\x93\x8C\x8B\x9E \xB6\xC5 abc"), "東京 ｶﾅ abc");
    EXPECT_EQ(CodePage::byName("CP936").decode(CodePage::byName("CP936").encode("北京市")), "北京市");
    EXPECT_EQ(CodePage::byName("CP949").decode(CodePage::byName("CP949").encode("서울")), "서울");
    EXPECT_EQ(CodePage::byName("CP950").decode(CodePage::byName("CP950").encode("臺北")), "臺北");

    // A character cut off, or bytes that start none, read as U+FFFD and the rest reads on.
    EXPECT_EQ(sjis.decode("ab\x93"), "ab\uFFFD");
    EXPECT_EQ(sjis.decode("\x80\x93\x8C"), "\uFFFD東");
    EXPECT_STREQ(errorOf<Error>([&] { sjis.encode("Straße"); }).what(),
                 "The character 'ß' cannot be stored in code page CP932.");

    const CodePage utf8 = CodePage::utf8();
    EXPECT_EQ(utf8.decode("Gr\xC3\xBC\xC3\x9F"
                          "e"),
              "Grüße");
    EXPECT_EQ(utf8.decode("ab\xC3(x"), "ab\uFFFD(x");
    EXPECT_EQ(utf8.decode("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");         // a surrogate
    EXPECT_STREQ(errorOf<Error>([&] { utf8.encode("\xC0\xAF"); }).what(), // overlong '/'
                 "The text is not valid UTF-8 (byte 0xC0 at position 1).");
}

TEST(CodePage, EncodeErrorsNameTheCharacterAndThePage) {
    const CodePage cp1252 = CodePage::byName("cp1252");
    EXPECT_EQ(cp1252.name(), "CP1252");
    EXPECT_EQ(cp1252.decode(std::string_view("ab\0c\x80", 5)), std::string("ab\0c€", 7));

    const Error unstorable = errorOf<Error>([&] { cp1252.encode("Ivan Čačak"); });
    EXPECT_EQ(unstorable.kind(), ErrorKind::CodePage);
    EXPECT_STREQ(unstorable.what(), "The character 'Č' cannot be stored in code page CP1252.");
    EXPECT_STREQ(errorOf<Error>([&] { CodePage::byName("CP437").encode("a\xE2\x80\x8B"); }).what(),
                 "The character U+200B cannot be stored in code page CP437.");
    EXPECT_STREQ(errorOf<Error>([&] { CodePage::byName("CP866").encode("Müller"); }).what(),
                 "The character 'ü' cannot be stored in code page CP866.");
    EXPECT_STREQ(errorOf<Error>([&] { cp1252.encode("ok\xFF"); }).what(),
                 "The text is not valid UTF-8 (byte 0xFF at position 3).");

    const Error unknown = errorOf<Error>([] { CodePage::byName("NO-SUCH-PAGE"); });
    EXPECT_EQ(unknown.kind(), ErrorKind::Unsupported);
    EXPECT_STREQ(unknown.what(),
                 "The code page 'NO-SUCH-PAGE' is not known to this system, so its text cannot be read.");
    // iconv's substituting variants and the locale's charset are not code pages.
    EXPECT_EQ(errorOf<Error>([] { CodePage::byName("CP932//TRANSLIT"); }).kind(), ErrorKind::Unsupported);
    EXPECT_EQ(errorOf<Error>([] { CodePage::byName(""); }).kind(), ErrorKind::Unsupported);
}

TEST(CodePage, LanguageDriverIdsFollowTheReferenceTable) {
    const std::map<int, std::string> expected = {
        {0x01, "CP437"},     {0x02, "CP850"},        {0x03, "CP1252"},
        {0x04, "MACINTOSH"}, {0x08, "CP865"},        {0x13, "CP932"},
        {0x1C, "CP863"},     {0x1F, "CP852"},        {0x24, "CP860"},
        {0x26, "CP866"},     {0x37, "CP850"},        {0x40, "CP852"},
        {0x4D, "CP936"},     {0x4E, "CP949"},        {0x4F, "CP950"},
        {0x50, "CP874"},     {0x57, "CP1252"},       {0x59, "CP1252"},
        {0x64, "CP852"},     {0x65, "CP866"},        {0x66, "CP865"},
        {0x67, "CP861"},     {0x6A, "CP737"},        {0x6B, "CP857"},
        {0x7D, "CP1255"},    {0x7E, "CP1256"},       {0x86, "CP737"},
        {0x87, "CP852"},     {0x96, "MAC-CYRILLIC"}, {0x97, "MAC-CENTRALEUROPE"},
        {0xC8, "CP1250"},    {0xC9, "CP1251"},       {0xCA, "CP1254"},
        {0xCB, "CP1253"},    {0xCC, "CP1257"},
    };
    for (const auto& [id, name] : expected)
        EXPECT_EQ(CodePage::nameForLanguageDriver(static_cast<std::uint8_t>(id)), name) << id;
    EXPECT_EQ(CodePage::nameForLanguageDriver(0x00), std::nullopt);
    EXPECT_EQ(CodePage::nameForLanguageDriver(0x05), std::nullopt);
    EXPECT_EQ(CodePage::nameForLanguageDriver(0xFF), std::nullopt);

    // Every id the layer names can also be opened and read.
    int named = 0;
    for (int id = 0; id < 256; ++id) {
        if (const auto name = CodePage::nameForLanguageDriver(static_cast<std::uint8_t>(id))) {
            ++named;
            EXPECT_NO_THROW(CodePage::byName(*name).decode("abc")) << id << " " << *name;
        }
    }
    EXPECT_EQ(named, 67); // the ids of the reference table, 0x00 aside

    EXPECT_EQ(CodePage::languageDriverFor("CP437"), 0x01);
    EXPECT_EQ(CodePage::languageDriverFor("IBM850"), 0x02);
    for (const char* name : {"CP1252", "cp1252", "1252", "windows-1252", "Windows1252"})
        EXPECT_EQ(CodePage::languageDriverFor(name), 0x03) << name;
    EXPECT_EQ(CodePage::languageDriverFor("CP852"), 0x64);
    EXPECT_EQ(CodePage::languageDriverFor("cp866"), 0x65);
    EXPECT_EQ(CodePage::languageDriverFor("windows-1250"), 0xC8);
    EXPECT_EQ(CodePage::languageDriverFor("1251"), 0xC9);
    EXPECT_EQ(CodePage::languageDriverFor("Mazovia"), 0x69);
    EXPECT_EQ(CodePage::languageDriverFor("CP10007"), 0x96);
    EXPECT_EQ(CodePage::languageDriverFor("UTF-8"), 0);
    EXPECT_EQ(CodePage::languageDriverFor("ISO-8859-2"), 0);
    // Writing a table's id and reading it back names the same page.
    for (const char* name : {"CP437", "CP850", "CP852", "CP866", "CP1250", "CP1251", "CP1252", "CP932"})
        EXPECT_EQ(CodePage::nameForLanguageDriver(CodePage::languageDriverFor(name)), name);
}

TEST(CodePage, CpgFilesBesideTheTable) {
    testsupport::TempDir dir;
    const auto cpgOf = [&](const std::string& cpgName, const std::string& content) {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(entry.path());
        testsupport::writeFile(dir / cpgName, content);
        return CodePage::nameFromCpgFile(dir / "roads.dbf");
    };
    EXPECT_EQ(CodePage::nameFromCpgFile(dir / "roads.dbf"), std::nullopt);
    EXPECT_EQ(cpgOf("roads.cpg", "1251\r\n"), "CP1251");
    EXPECT_EQ(cpgOf("roads.CPG", "437"), "CP437");
    EXPECT_EQ(cpgOf("roads.Cpg", "950\n"), "CP950");
    EXPECT_EQ(cpgOf("ROADS.cpg", "1258"), "CP1258");
    EXPECT_EQ(cpgOf("roads.cpg", "88591"), "ISO-8859-1");
    EXPECT_EQ(cpgOf("roads.cpg", "8859-2\nsecond line"), "ISO-8859-2");
    EXPECT_EQ(cpgOf("roads.cpg", "88595"), "ISO-8859-5");
    EXPECT_EQ(cpgOf("roads.cpg", "\xEF\xBB\xBFutf-8\n"), "UTF-8");
    EXPECT_EQ(cpgOf("roads.cpg", "UTF8"), "UTF-8");
    // The spellings other programs write.
    for (const char* spelling : {"ANSI 1250", "ansi  1250", "CP 1250", "cp1250", "windows-1250",
                                 "Windows_1250", "WIN1250", "1250 \r\n"})
        EXPECT_EQ(cpgOf("roads.cpg", spelling), "CP1250") << spelling;
    EXPECT_EQ(cpgOf("roads.cpg", "OEM 852"), "CP852");
    EXPECT_EQ(cpgOf("roads.cpg", "ISO 8859-2"), "ISO-8859-2");
    EXPECT_EQ(cpgOf("roads.cpg", "iso8859_15"), "ISO-8859-15");
    EXPECT_EQ(cpgOf("roads.cpg", "Big5"), "BIG5");
    EXPECT_EQ(cpgOf("roads.cpg", "  \n"), std::nullopt);
    EXPECT_EQ(cpgOf("other.cpg", "1251"), std::nullopt);
    // What a .cpg names can be opened.
    EXPECT_EQ(CodePage::byName(*cpgOf("roads.cpg", "8859-2")).decode("\xB1"), "ą");
    EXPECT_EQ(CodePage::byName(*cpgOf("roads.cpg", "Big5")).decode("\xA5\x78"), "台");
}

// A few dozen words of each language, as names and places stand in tables, joined by '|'.
const std::map<std::string, std::string> kWords = {
    {"German", "Müller|Straße|Bäckerei|Größe|Öl|Übersee|Käse|Jürgen|schön|München|Düsseldorf|Köln|"
               "Fußball|Hähnchen|Mädchen|Zürich|Gärtner|Brücke|Löwe|süß|Hauptstraße 12|Berlin|und|"
               "Schröder|Jäger|Bürgermeister|Höhe|René"},
    {"French", "Élodie|café|crème|à|côté|être|où|garçon|naïve|Noël|élève|père|mère|fenêtre|hôtel|île|"
               "Françoise|Hélène|déjà|voilà|forêt|Genève|août|théâtre|bientôt|reçu|rue de la Paix|"
               "Jérôme|Cécile|Frédéric"},
    {"Serbo-Croatian", "Čačak|Đorđe|šećer|žuto|Niš|Šabac|Kruševac|Ćuprija|Đakovica|čaša|ćevapi|Požega|Užice|"
                       "Zaječar|Smederevo|kuća|Dubrovnik|Rijeka|Osijek|Beograd|Novi Sad|ulica|Kneza Miloša 5|"
                       "Petrović|Jovanović|Marković|Đurić|Živković|Nikolić|Ilić"},
    {"Czech", "Dvořák|město|čeština|Žižkov|Plzeň|kůň|přítel|Brno|Ústí nad Labem|České Budějovice|"
              "Hradec Králové|Pardubice|Olomouc|Třebíč|Kroměříž|náměstí|Novák|Svoboda|Černý|"
              "Procházka|Kučera|Veselý|Horák|Němec|Pospíšil|Hájek|Král|Růžička|Beneš|Sedláček|"
              "Doležal|Kolář|Navrátil|Čermák"},
    {"Polish", "Łódź|Gdańsk|Kraków|Wrocław|Poznań|Szczecin|Białystok|Częstochowa|Rzeszów|Toruń|"
               "Zielona Góra|Ruda Śląska|Elbląg|Płock|Wałbrzych|Gorzów|Włocławek|Tarnów|Kowalski|"
               "Wiśniewski|Wójcik|Kamiński|Zieliński|Woźniak|Dąbrowski|Kozłowski|Zając|Jabłoński|Król|"
               "Wróbel|Stępień|Górski|ul. Żeromskiego 4|Łukasz|Żaneta"},
    {"Russian", "Москва|Иванов|Петров|Сидоров|улица|Ленина|дом|Санкт-Петербург|Новосибирск|"
                "Екатеринбург|Казань|Нижний Новгород|Самара|Ростов-на-Дону|Уфа|Пермь|Воронеж|Смирнов|"
                "Кузнецов|Фёдоров|Семёнов|Соловьёв|ООО \"Ромашка\"|ИП Щукин|проспект Мира, 15|Эльдар|"
                "Юрий|Жуков|Шевченко|Чайковский|Хабаровск|Тюмень|Ярославль|Ижевск|и|в"},
};

std::vector<std::string> wordsOf(const std::string& language) {
    std::vector<std::string> out(1);
    for (char c : kWords.at(language))
        if (c == '|')
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

// Field contents as a table stores them: encoded, padded with blanks to the field's width.
std::vector<std::string> fieldsOf(const std::vector<std::string>& words, const std::string& page) {
    const CodePage cp = CodePage::byName(page);
    std::vector<std::string> fields;
    for (const auto& word : words)
        fields.push_back(cp.encode(word) + std::string(40 - cp.encode(word).size(), ' '));
    return fields;
}

// The page detect() names for the fields, checked to read them back as the original words.
std::string detected(const std::vector<std::string>& fields, const std::vector<std::string>& words) {
    const std::vector<std::string_view> samples(fields.begin(), fields.end());
    const std::string name = CodePage::detect(samples);
    const CodePage page = CodePage::byName(name);
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(page.decode(fields[i]).substr(0, words[i].size()), words[i]) << "read as " << name;
    return name;
}

TEST(CodePageDetect, EachLanguageInEachPageThatHoldsIt) {
    // The page expected by name where the text tells it; "" where several pages read the text
    // alike (German in CP1250 and CP1252), and then reading it back right is what counts.
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"German", "CP437", ""},
        {"German", "CP850", ""},
        {"German", "CP852", ""},
        {"German", "CP1250", ""},
        {"German", "CP1252", "CP1252"},
        {"French", "CP437", ""},
        {"French", "CP850", "CP850"},
        {"French", "CP1252", "CP1252"},
        {"Serbo-Croatian", "CP852", "CP852"},
        {"Serbo-Croatian", "CP1250", "CP1250"},
        {"Czech", "CP852", "CP852"},
        {"Czech", "CP1250", "CP1250"},
        {"Polish", "CP852", "CP852"},
        {"Polish", "CP1250", "CP1250"},
        {"Russian", "CP866", "CP866"},
        {"Russian", "CP1251", "CP1251"},
    };
    for (const auto& [language, page, expected] : cases) {
        SCOPED_TRACE(language + " in " + page);
        const auto words = wordsOf(language);
        const std::string name = detected(fieldsOf(words, page), words);
        if (!expected.empty()) EXPECT_EQ(name, expected);
    }
}

TEST(CodePageDetect, MixedLanguagesInOneTable) {
    const auto mix = [](std::initializer_list<const char*> languages) {
        std::vector<std::string> words;
        for (const char* language : languages) {
            const auto list = wordsOf(language);
            words.insert(words.end(), list.begin(), list.begin() + 12);
        }
        return words;
    };
    const std::vector<std::tuple<std::vector<std::string>, std::string>> cases = {
        {mix({"German", "French"}), "CP1252"},
        {mix({"German", "French"}), "CP850"},
        {mix({"Czech", "German"}), "CP1250"},
        {mix({"Czech", "German"}), "CP852"},
        {mix({"Polish", "German", "Czech"}), "CP852"},
        {mix({"Serbo-Croatian", "Czech", "Polish"}), "CP1250"},
        {mix({"Serbo-Croatian", "German"}), "CP1250"},
        {mix({"Russian", "German"}), "CP1251"}, // German words written in transliteration
    };
    for (const auto& [words, page] : cases) {
        SCOPED_TRACE(page);
        std::vector<std::string> representable;
        for (const auto& w : words) {
            try {
                CodePage::byName(page).encode(w);
                representable.push_back(w);
            } catch (const Error&) {
            }
        }
        EXPECT_EQ(detected(fieldsOf(representable, page), representable), page);
    }
}

TEST(CodePageDetect, RussianWordsWhoseLettersCp1252ReadsAsFrench) {
    // In CP1251 these words are bytes that CP1252 reads as French letters ("âèëêà ïèëà"); only
    // words made of accented letters alone give them away.
    const std::vector<std::string> words = {"вилка", "пила", "пол", "лава", "кол"};
    EXPECT_EQ(detected(fieldsOf(words, "CP1251"), words), "CP1251");
    EXPECT_EQ(detected(fieldsOf(words, "CP866"), words), "CP866");
}

TEST(CodePageDetect, Utf8AsciiAndARealTable) {
    const auto german = wordsOf("German");
    EXPECT_EQ(detected(std::vector<std::string>(german.begin(), german.end()), german), "UTF-8");
    EXPECT_EQ(CodePage::detect({"Berlin    ", "Hamburg   ", "", "12 Main St"}), "CP1252");
    // A UTF-8 writer that cut a full field inside its last character.
    EXPECT_EQ(CodePage::detect({"Gr\xC3\xBC\xC3\x9F"
                                "e",
                                "Stra\xC3\x9F\xC3"}),
              "UTF-8");
    // One byte that cannot be UTF-8 makes the whole text single-byte.
    EXPECT_NE(CodePage::detect({"Gr\xC3\xBC\xC3\x9F"
                                "e",
                                "Caf\xE9 "}),
              "UTF-8");

    // The C field of a real Russian table (its header says CP1251; detection ignores that).
    const std::string dbf = testsupport::readFile(testsupport::fixturesDir() / "dbf-gem/cp1251.dbf");
    const std::size_t headerLength = testsupport::get16(dbf, 8), recordLength = testsupport::get16(dbf, 10);
    std::vector<std::string_view> names;
    for (std::size_t at = headerLength; at + recordLength <= dbf.size(); at += recordLength)
        names.push_back(std::string_view(dbf).substr(at + 1 + 4, 100)); // after the flag and RN N(4)
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(CodePage::detect(names), "CP1251");
    EXPECT_EQ(CodePage::byName("CP1251").decode(names[0]).rfind("амбулаторно-поликлиническое", 0), 0u);
}

} // namespace
