#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "BerthkeepShared/BerthkeepRustLibraryCall.hpp"

namespace berthkeep {
namespace {

// A stand-in for the library's side: what it answers, and what was freed.
int g_calls = 0;
int g_frees = 0;
const char* g_response = nullptr;
const char* g_lastError = nullptr;

char* copyOf(const char* text) {
    return text != nullptr ? ::strdup(text) : nullptr;
}
char* respond(const char*) {
    ++g_calls;
    return copyOf(g_response);
}
char* lastError() {
    return copyOf(g_lastError);
}
void freeString(char* text) {
    ++g_frees;
    std::free(text);
}

struct CallFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};
CallFailed mapCallFailed(const std::string& message) {
    return CallFailed(message);
}

class RustLibraryCallTest : public ::testing::Test {
protected:
    void SetUp() override { g_calls = g_frees = 0; }
};

TEST_F(RustLibraryCallTest, OutcomesOfOneCall) {
    struct Case {
        const char* name;
        std::string input;
        const char* response;
        const char* lastError;
        std::optional<std::string> expectedResponse;
        std::string expectedFailure;
        int calls;
        int frees;
    };
    const Case cases[] = {
        {"answer", "{}", "{\"ok\":true}", nullptr, "{\"ok\":true}", "", 1, 1},
        {"null with last error", "{}", nullptr, "bad input", std::nullopt, "bad input", 1, 1},
        {"null without last error", "{}", nullptr, nullptr, std::nullopt, "fallback", 1, 0},
        {"not UTF-8", "{\"a\":\"\xff\"}", "{}", nullptr, std::nullopt,
         BerthkeepRustLibraryCall::invalidInputMessage, 0, 0},
        {"embedded NUL", std::string("{}\0x", 4), "{}", nullptr, std::nullopt,
         BerthkeepRustLibraryCall::invalidInputMessage, 0, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        g_response = c.response;
        g_lastError = c.lastError;
        const auto outcome =
            BerthkeepRustLibraryCall::callJSON(respond, c.input, lastError, freeString, "fallback");
        EXPECT_EQ(outcome.response, c.expectedResponse) << c.name;
        EXPECT_EQ(outcome.failure, c.expectedFailure) << c.name;
        EXPECT_EQ(g_calls, c.calls) << c.name;
        EXPECT_EQ(g_frees, c.frees) << c.name;
    }
}

TEST_F(RustLibraryCallTest, MissingFunctionFailsWithoutCallingAnything) {
    g_lastError = "stale";
    const auto outcome =
        BerthkeepRustLibraryCall::callJSON(nullptr, "{}", lastError, freeString, "fallback");
    EXPECT_FALSE(outcome.response);
    EXPECT_EQ(outcome.failure, "fallback");
    EXPECT_EQ(g_frees, 0);
}

TEST_F(RustLibraryCallTest, ThrowingFormMapsTheFailure) {
    g_response = nullptr;
    g_lastError = "core said no";
    try {
        BerthkeepRustLibraryCall::callJSON(respond, "{}", lastError, freeString, "fallback",
                                           mapCallFailed);
        FAIL() << "expected a failure";
    } catch (const CallFailed& error) {
        EXPECT_STREQ(error.what(), "core said no");
    }
    g_response = "[]";
    EXPECT_EQ(BerthkeepRustLibraryCall::callJSON(respond, "{}", lastError, freeString, "fallback",
                                                 mapCallFailed),
              "[]");
}

TEST_F(RustLibraryCallTest, ResolveOrCloseClosesOnlyOnFailure) {
    // A null handle stands for an open library here: closeLibrary ignores it, and the
    // handle is set to null either way after a failure.
    BerthkeepRustFFI::Handle handle = nullptr;
    bool resolved = false;
    BerthkeepRustLibraryCall::resolveOrClose(handle, [&] { resolved = true; });
    EXPECT_TRUE(resolved);
    EXPECT_THROW(BerthkeepRustLibraryCall::resolveOrClose(
                     handle, [] { throw CallFailed("symbol missing"); }),
                 CallFailed);
    EXPECT_EQ(handle, nullptr);
}

} // namespace
} // namespace berthkeep
