// The order of text: the letters of the user's language in its order (ICU's collator for the system
// locale, at the strength that ignores case), ties broken by the case-folded code points so that text
// is equal exactly when it differs only in case.
#include "engine/Collation.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <unicode/ucol.h>
#include <unicode/uset.h>

namespace engine {

namespace {

// Letters, digits and the blank: the text most tables sort by. Where the language orders them as their
// folded code points and joins none of them into one letter ("ch" in Czech), such text is compared
// without the collator.
bool plain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
}

unsigned fold(unsigned c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// The ICU locale of the system's collation settings: "sr_RS@latin" -> "sr_Latn_RS", "C" -> the root.
std::string systemLocale() {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    const std::size_t at = locale.find('@');
    const std::string modifier = at == std::string::npos ? "" : locale.substr(at + 1);
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale == "C" || locale == "POSIX") return "";
    if (modifier == "latin") {
        const std::size_t underscore = locale.find('_');
        locale = underscore == std::string::npos
                     ? locale + "_Latn"
                     : locale.substr(0, underscore) + "_Latn" + locale.substr(underscore);
    }
    return locale;
}

class Order {
public:
    explicit Order(const std::string& locale) {
        UErrorCode status = U_ZERO_ERROR;
        m_collator = ucol_open(locale.c_str(), &status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            m_collator = ucol_open("", &status);
        }
        if (U_FAILURE(status)) {
            m_collator = nullptr;
            return;
        }
        ucol_setStrength(m_collator, UCOL_SECONDARY);
        m_plainFast = plainOrderHolds();
    }
    ~Order() {
        if (m_collator) ucol_close(m_collator);
    }
    Order(const Order&) = delete;
    Order& operator=(const Order&) = delete;

    int compare(std::string_view a, std::string_view b) const {
        if (m_plainFast) {
            // Plain text against plain text: the first folded difference decides, as the language does.
            std::size_t i = 0;
            const std::size_t n = std::min(a.size(), b.size());
            for (; i < n; ++i) {
                const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
                if (!plain(ca) || !plain(cb)) break;
                if (ca != cb && fold(ca) != fold(cb)) return fold(ca) < fold(cb) ? -1 : 1;
            }
            if (i == n && (i == a.size() || plain(static_cast<unsigned char>(a[i]))) &&
                (i == b.size() || plain(static_cast<unsigned char>(b[i]))))
                return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1; // the shorter first
        }
        if (m_collator) {
            UErrorCode status = U_ZERO_ERROR;
            const UCollationResult r = ucol_strcollUTF8(m_collator, a.data(), static_cast<int32_t>(a.size()),
                                                        b.data(), static_cast<int32_t>(b.size()), &status);
            if (U_SUCCESS(status) && r != UCOL_EQUAL) return r == UCOL_LESS ? -1 : 1;
        }
        return compareFolded(a, b);
    }

private:
    // Whether plain text orders as its folded bytes under this collator: every plain character alone in
    // that order, no contraction that starts with one, and a blank that is not ignored.
    bool plainOrderHolds() {
        if (!m_collator) return false;
        std::string previous;
        for (unsigned c = 0; c < 128; ++c) {
            if (!plain(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'Z')) continue;
            const std::string current(1, static_cast<char>(c));
            if (!previous.empty() && collate(previous, current) >= 0) return false;
            if (c >= 'a' && c <= 'z' && collate(current, std::string(1, static_cast<char>(c - 32))) != 0)
                return false;
            previous = current;
        }
        if (collate("a", "a ") >= 0 || collate("a b", "ab") >= 0) return false; // a blank that is ignored
        UErrorCode status = U_ZERO_ERROR;
        USet* contractions = uset_openEmpty();
        ucol_getContractionsAndExpansions(m_collator, contractions, nullptr, false, &status);
        bool joined = false;
        UChar text[64];
        for (int32_t i = 0; U_SUCCESS(status) && i < uset_getItemCount(contractions) && !joined; ++i) {
            UChar32 start = 0, end = 0;
            UErrorCode itemStatus = U_ZERO_ERROR;
            const int32_t length = uset_getItem(contractions, i, &start, &end, text, 64, &itemStatus);
            if (length <= 0 || U_FAILURE(itemStatus)) continue;
            bool allPlain = true;
            for (int32_t k = 0; k < length; ++k)
                allPlain = allPlain && text[k] < 128 && plain(static_cast<unsigned char>(text[k]));
            joined = allPlain;
        }
        uset_close(contractions);
        return U_SUCCESS(status) && !joined;
    }

    int collate(const std::string& a, const std::string& b) const {
        UErrorCode status = U_ZERO_ERROR;
        return ucol_strcollUTF8(m_collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                static_cast<int32_t>(b.size()), &status);
    }

    UCollator* m_collator = nullptr;
    bool m_plainFast = false;
};

std::unique_ptr<Order>& current() {
    static std::unique_ptr<Order> order = std::make_unique<Order>(systemLocale());
    return order;
}

} // namespace

int compareText(std::string_view a, std::string_view b) {
    return current()->compare(a, b);
}

void useTextOrder(const std::string& locale) {
    current() = std::make_unique<Order>(locale);
}

} // namespace engine
