#include "support/Errors.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

void expectParts(const std::string& message, const std::vector<std::string>& parts) {
    for (const auto& part : parts)
        EXPECT_TRUE(contains(message, part)) << "'" << message << "' lacks '" << part << "'";
}

} // namespace

void expectError(xbase::ErrorKind kind, const std::vector<std::string>& parts,
                 const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no error";
    } catch (const xbase::Error& e) {
        EXPECT_EQ(static_cast<int>(e.kind()), static_cast<int>(kind)) << e.what();
        expectParts(e.what(), parts);
    }
}

void expectError(int number, const std::vector<std::string>& parts, const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no error";
    } catch (const engine::Error& e) {
        EXPECT_EQ(e.number(), number) << e.what();
        expectParts(e.what(), parts);
    }
}

} // namespace testsupport
