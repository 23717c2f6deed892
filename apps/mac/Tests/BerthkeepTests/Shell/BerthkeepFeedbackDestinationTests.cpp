#include "Berthkeep/Shell/BerthkeepFeedbackDestination.hpp"

#include <gtest/gtest.h>

#include <QUrlQuery>

namespace berthkeep {
namespace {

using Info = PropertyListValue::Dictionary;

QUrl feedbackFor(PropertyListValue configured) {
    return BerthkeepFeedbackDestination::url(Info{{"BerthkeepFeedbackURL", std::move(configured)}},
                                             "1.4", "120", "Debian GNU/Linux 12 (bookworm)");
}

TEST(BerthkeepFeedbackDestination, UsesOnlyAWellFormedHttpsPage) {
    const std::pair<PropertyListValue, QString> cases[] = {
        {PropertyListValue(std::string("  https://example.com/feedback\n")),
         "https://example.com/feedback"},
        {PropertyListValue(std::string("HTTPS://example.com/f")), "HTTPS://example.com/f"},
        {PropertyListValue(std::string("http://example.com/feedback")), "mailto"},
        {PropertyListValue(std::string("mailto:someone@example.com")), "mailto"},
        {PropertyListValue(std::string("https:///no-host")), "mailto"},
        {PropertyListValue(std::string(" \n")), "mailto"},
        {PropertyListValue(std::int64_t{42}), "mailto"},
    };
    for (const auto& [configured, expected] : cases) {
        const QUrl url = feedbackFor(configured);
        if (expected == QStringLiteral("mailto")) {
            EXPECT_EQ(url.scheme(), "mailto") << url.toString().toStdString();
        } else {
            EXPECT_EQ(url, QUrl(expected));
        }
    }
}

TEST(BerthkeepFeedbackDestination, MailCarriesVersionBuildAndSystem) {
    const QUrl url = BerthkeepFeedbackDestination::url({}, "1.4", "120", "Linux 6.1");
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), BerthkeepFeedbackDestination::mailAddress);
    const QUrlQuery query(url);
    const auto items = query.queryItems(QUrl::FullyDecoded);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], qMakePair(QStringLiteral("subject"), QStringLiteral("Berthkeep Feedback")));
    EXPECT_EQ(items[1].second, "Berthkeep version: 1.4 (120)\nmacOS: Linux 6.1\n\nFeedback:");
}

} // namespace
} // namespace berthkeep
