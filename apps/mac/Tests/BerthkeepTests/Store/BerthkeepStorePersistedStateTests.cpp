#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "Berthkeep/Store/StoredLastActionSummary.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "DeepJson.hpp"
#include "StoreFixture.hpp"

namespace berthkeep {
namespace {

using Result = LastActionSummary::Result;

PropertyListValue::Data bytes(const std::string& text) {
    return PropertyListValue::Data(text.begin(), text.end());
}

std::optional<nlohmann::json> storedJSON(const UserDefaults& defaults, const char* key) {
    const auto data = defaults.dataForKey(key);
    if (!data) {
        return std::nullopt;
    }
    return nlohmann::json::parse(std::string(data->begin(), data->end()));
}

TEST(BerthkeepStorePersistedState, EveryKindRoundTripsThroughTheDefaults) {
    struct Case {
        Result result;
        nlohmann::json document;
    };
    const std::vector<Case> cases = {
        {Result::ejected(3), {{"kind", "ejected"}, {"ejectedCount", 3}}},
        {Result::ejected(0), {{"kind", "ejected"}, {"ejectedCount", 0}}},
        {Result::partialSuccess(2, 1),
         {{"kind", "partialSuccess"}, {"ejectedCount", 2}, {"stillBusyCount", 1}}},
        {Result::stillBusy(3), {{"kind", "stillBusy"}, {"stillBusyCount", 3}}},
        {Result::noneFound(), {{"kind", "noneFound"}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.document.dump());
        storetest::StoreFixture fixture;
        auto store = fixture.make();
        store->setLastActionSummary(LastActionSummary{test.result});
        store->persistLastActionSummary();
        store->persistLastActionSummary();
        EXPECT_EQ(storedJSON(*fixture.defaults, BerthkeepStore::lastActionSummaryKey),
                  test.document);

        store = fixture.make();
        EXPECT_EQ(store->lastActionSummary(), LastActionSummary{test.result});
    }
}

TEST(BerthkeepStorePersistedState, UnreadableSummariesStartAsNoneFoundAndStayStored) {
    const std::vector<std::pair<std::string, std::optional<Result>>> cases = {
        {R"({"kind":"ejected"})", Result::ejected(0)},
        {R"({"kind":"stillBusy","ejectedCount":4,"stillBusyCount":2})", Result::stillBusy(2)},
        {R"({"ejectedCount":1,"kind":"partialSuccess","extra":true,"stillBusyCount":null})",
         Result::partialSuccess(1, 0)},
        {R"({"kind":"Ejected","ejectedCount":1})", std::nullopt},
        {R"({"kind":"ejected","ejectedCount":"2"})", std::nullopt},
        {R"({"kind":"ejected","ejectedCount":2.5})", std::nullopt},
        {R"({"kind":"ejected","ejectedCount":18446744073709551615})", std::nullopt},
        {R"({"ejectedCount":1})", std::nullopt},
        {R"(["kind","ejected"])", std::nullopt},
        {test::withNestedMember(R"({"kind":"ejected"})", kMaximumJsonNestingDepth), std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [document, expected] : cases) {
        SCOPED_TRACE(document);
        storetest::StoreFixture fixture;
        fixture.defaults->setData(BerthkeepStore::lastActionSummaryKey, bytes(document));
        const auto store = fixture.make();
        EXPECT_EQ(store->lastActionSummary(),
                  LastActionSummary{expected.value_or(Result::noneFound())});
        EXPECT_EQ(fixture.defaults->dataForKey(BerthkeepStore::lastActionSummaryKey),
                  bytes(document));
    }

    storetest::StoreFixture stringEntry;
    stringEntry.defaults->setString(BerthkeepStore::lastActionSummaryKey, R"({"kind":"ejected"})");
    EXPECT_EQ(stringEntry.make()->lastActionSummary(), LastActionSummary{Result::noneFound()})
        << "only a data value counts as stored";
}

TEST(BerthkeepStorePersistedState, PendingNotificationReadsOnlyAnIntegerCount) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {R"({"failedDriveCount":1})", 1},
        {R"({"failedDriveCount":0})", 0},
        {R"({})", std::nullopt},
        {R"({"failedDriveCount":"1"})", std::nullopt},
        {test::withNestedMember(R"({"failedDriveCount":1})", kMaximumJsonNestingDepth),
         std::nullopt},
        {"[", std::nullopt},
    };
    for (const auto& [document, expected] : cases) {
        SCOPED_TRACE(document);
        storetest::StoreFixture fixture;
        fixture.defaults->setData(BerthkeepStore::pendingSleepFailureNotificationKey,
                                  bytes(document));
        const auto store = fixture.make();
        std::optional<PendingSleepFailureNotification> expectedValue;
        if (expected) {
            expectedValue = PendingSleepFailureNotification{*expected};
        }
        EXPECT_EQ(store->pendingSleepFailureNotification(), expectedValue);
    }
}

TEST(BerthkeepStorePersistedState, ClearedValuesAreRemovedAndConstructionWritesNothing) {
    storetest::StoreFixture fixture;
    auto store = fixture.make();
    EXPECT_EQ(store->lastActionSummary(), LastActionSummary{Result::noneFound()});
    EXPECT_FALSE(store->pendingSleepFailureNotification());
    EXPECT_FALSE(fixture.defaults->object(BerthkeepStore::lastActionSummaryKey));
    EXPECT_FALSE(fixture.defaults->object(BerthkeepStore::pendingSleepFailureNotificationKey));

    store->setLastActionSummary(LastActionSummary{Result::stillBusy(1)});
    store->setPendingSleepFailureNotification(PendingSleepFailureNotification{1});
    store->persistLastActionSummary();
    store->persistPendingSleepFailureNotification();
    EXPECT_EQ(storedJSON(*fixture.defaults, BerthkeepStore::pendingSleepFailureNotificationKey),
              (nlohmann::json{{"failedDriveCount", 1}}));

    store->setLastActionSummary(std::nullopt);
    store->setPendingSleepFailureNotification(std::nullopt);
    store->persistLastActionSummary();
    store->persistPendingSleepFailureNotification();
    EXPECT_FALSE(fixture.defaults->object(BerthkeepStore::lastActionSummaryKey));
    EXPECT_FALSE(fixture.defaults->object(BerthkeepStore::pendingSleepFailureNotificationKey));
    EXPECT_EQ(fixture.make()->lastActionSummary(), LastActionSummary{Result::noneFound()});
}

} // namespace
} // namespace berthkeep
