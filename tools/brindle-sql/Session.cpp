// Running statements of brindle-sql on an open folder.
#include "Session.h"

#include "engine/Dialect.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

#include <cstdio>

namespace brindlesql {

namespace {

// A statement that opens rows (a select, a crosstab, also after PARAMETERS); one that does not translate
// is run, to be refused with the engine's own account.
bool isSelect(const std::string& statement) {
    try {
        return engine::translate(statement).kind == engine::StatementKind::Select;
    } catch (const engine::Error&) {
        return false;
    }
}

} // namespace

void reportFailure(const std::exception& failure, const std::string& where) {
    if (auto e = dynamic_cast<const engine::Error*>(&failure))
        std::fprintf(stderr, "brindle-sql: %serror %d: %s\n", where.c_str(), e->number(), e->what());
    else
        std::fprintf(stderr, "brindle-sql: %s%s\n", where.c_str(), failure.what());
}

void Session::warn() {
    for (const auto& warning : m_db.takeWarnings())
        std::fprintf(stderr, "brindle-sql: warning: %s\n", warning.c_str());
}

bool Session::run(const std::string& statement, const std::string& where) {
    try {
        if (isSelect(statement)) {
            auto rs = m_db.openRecordset(statement);
            warn();
            const auto writer = makeWriter(m_settings.format, m_settings.header, stdout);
            for (const auto& reason : writeResult(*rs, *writer))
                std::fprintf(stderr, "brindle-sql: warning: a value cannot be read (written empty): %s\n",
                             reason.c_str());
        } else {
            const auto changed = m_db.execute(statement);
            std::printf("%lld record%s changed\n", static_cast<long long>(changed), changed == 1 ? "" : "s");
        }
    } catch (const std::exception& e) {
        std::fflush(stdout); // what the statement printed comes before its failure
        warn();
        reportFailure(e, where);
        return false;
    }
    std::fflush(stdout);
    warn();
    return true;
}

} // namespace brindlesql
