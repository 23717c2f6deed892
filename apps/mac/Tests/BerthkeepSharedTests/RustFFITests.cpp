#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <dlfcn.h>

#include "BerthkeepShared/BerthkeepRustFFI.hpp"

using namespace berthkeep;

namespace {

// An error type of the caller's own, as each bridge has.
struct LoadError {
    std::string kind;
    std::string detail;
};

LoadError mapDlopen(const std::string& message) {
    return {"dlopen", message};
}
LoadError mapMissing(const std::string& name) {
    return {"symbol", name};
}

int g_freed = 0;
void countingFree(char* text) {
    ++g_freed;
    std::free(text);
}

} // namespace

TEST(RustFFITests, OpenModeBindsNowAndKeepsSymbolsLocal) {
    EXPECT_EQ(BerthkeepRustFFI::openMode, RTLD_NOW | RTLD_LOCAL);
}

TEST(RustFFITests, FilesThatAreNotLibrariesFailWithTheLoadersMessage) {
    struct Case {
        std::string path;
        std::string expectedInMessage;
    };
    for (const auto& testCase : {Case{"/etc/passwd", "/etc/passwd"},
                                 Case{"/nonexistent/libberthkeep_core.so", "No such file"}}) {
        try {
            BerthkeepRustFFI::openLibrary(testCase.path, mapDlopen);
            ADD_FAILURE() << testCase.path << " loaded";
        } catch (const LoadError& error) {
            EXPECT_EQ(error.kind, "dlopen");
            EXPECT_NE(error.detail.find(testCase.expectedInMessage), std::string::npos)
                << error.detail;
        }
    }
}

TEST(RustFFITests, ResolvesPresentSymbolsAndMapsMissingOnesByName) {
    auto* handle = BerthkeepRustFFI::openLibrary("libm.so.6", mapDlopen);
    ASSERT_NE(handle, nullptr);

    using Cosine = double (*)(double);
    const auto cosine = BerthkeepRustFFI::resolveSymbol<Cosine>("cos", handle, mapMissing);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

    try {
        BerthkeepRustFFI::resolveSymbol<Cosine>("berthkeep_core_no_such_entry", handle, mapMissing);
        ADD_FAILURE() << "a missing symbol resolved";
    } catch (const LoadError& error) {
        EXPECT_EQ(error.kind, "symbol");
        EXPECT_EQ(error.detail, "berthkeep_core_no_such_entry");
    }

    // The handle stays usable after a failed lookup; closing it is ours.
    EXPECT_NE(BerthkeepRustFFI::resolveSymbol<Cosine>("sin", handle, mapMissing), nullptr);
    BerthkeepRustFFI::closeLibrary(handle);
    BerthkeepRustFFI::closeLibrary(nullptr);
}

TEST(RustFFITests, LibraryStringsAreCopiedAndFreedExactlyOnce) {
    g_freed = 0;
    char* text = static_cast<char*>(std::malloc(6));
    std::memcpy(text, "hello", 6);
    EXPECT_EQ(BerthkeepRustFFI::takeLibraryString(text, countingFree), "hello");
    EXPECT_EQ(g_freed, 1);

    EXPECT_EQ(BerthkeepRustFFI::takeLibraryString(nullptr, countingFree), "");
    EXPECT_EQ(g_freed, 1);
}

#ifdef BERTHKEEP_CORE_LIBRARY_PATH
TEST(RustFFITests, BuiltCoreLibraryOffersTheDecisionEntryPoints) {
    auto* handle = BerthkeepRustFFI::openLibrary(BERTHKEEP_CORE_LIBRARY_PATH, mapDlopen);
    using Decision = char* (*)(const char*);
    using LastError = char* (*)();
    using FreeString = void (*)(char*);
    for (const char* name :
         {"berthkeep_core_evaluate_state_json", "berthkeep_core_plan_action_json",
          "berthkeep_core_summarize_action_json"}) {
        EXPECT_NE(BerthkeepRustFFI::resolveSymbol<Decision>(name, handle, mapMissing), nullptr);
    }
    const auto lastError = BerthkeepRustFFI::resolveSymbol<LastError>(
        "berthkeep_core_last_error_message", handle, mapMissing);
    const auto freeString = BerthkeepRustFFI::resolveSymbol<FreeString>(
        "berthkeep_core_free_string", handle, mapMissing);

    // A failed call leaves a last error on this thread, which we copy and hand back.
    const auto evaluate = BerthkeepRustFFI::resolveSymbol<Decision>(
        "berthkeep_core_evaluate_state_json", handle, mapMissing);
    EXPECT_EQ(evaluate("not json"), nullptr);
    const std::string message = BerthkeepRustFFI::takeLibraryString(lastError(), freeString);
    EXPECT_FALSE(message.empty());
    freeString(nullptr); // accepted and ignored
    BerthkeepRustFFI::closeLibrary(handle);
}
#endif
