#include "Berthkeep/Shell/BerthkeepFeedbackDestination.hpp"

#include <QUrlQuery>

#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/System/OperatingSystemVersion.hpp"

namespace berthkeep {

QUrl BerthkeepFeedbackDestination::url(const PropertyListValue::Dictionary& infoDictionary,
                                       const std::string& appVersion,
                                       const std::string& buildNumber,
                                       const std::string& operatingSystemVersion) {
    if (auto configured = configuredFeedbackURL(infoDictionary)) {
        return *configured;
    }
    return fallbackEmailURL(appVersion, buildNumber, operatingSystemVersion);
}

QUrl BerthkeepFeedbackDestination::url() {
    const auto bundle = AppBundle::main();
    return url(bundle->infoDictionary(), bundle->shortVersion().value_or("dev"),
               bundle->bundleVersion().value_or("dev"),
               OperatingSystemVersion::current().versionString());
}

std::optional<QUrl>
BerthkeepFeedbackDestination::configuredFeedbackURL(const PropertyListValue::Dictionary& info) {
    const auto found = info.find(BerthkeepBundleConfiguration::feedbackURLKey);
    const std::string* value = found == info.end() ? nullptr : found->second.string();
    if (value == nullptr) {
        return std::nullopt;
    }
    const QString text = QString::fromStdString(*value).trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QStringLiteral("https") ||
        url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

QUrl BerthkeepFeedbackDestination::fallbackEmailURL(const std::string& appVersion,
                                                    const std::string& buildNumber,
                                                    const std::string& operatingSystemVersion) {
    const std::string body = "Berthkeep version: " + appVersion + " (" + buildNumber +
                             ")\nmacOS: " + operatingSystemVersion + "\n\nFeedback:";
    QUrlQuery query;
    query.setQueryItems({{QStringLiteral("subject"), QString::fromUtf8(mailSubject)},
                         {QStringLiteral("body"), QString::fromStdString(body)}});
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(QString::fromUtf8(mailAddress));
    url.setQuery(query);
    if (!url.isValid()) {
        return QUrl(QStringLiteral("mailto:") + QString::fromUtf8(mailAddress));
    }
    return url;
}

} // namespace berthkeep
