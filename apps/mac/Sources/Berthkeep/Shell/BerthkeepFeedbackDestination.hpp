#pragma once

#include <QUrl>

#include <optional>
#include <string>

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

// Where "Send Feedback…" goes: the HTTPS page the bundle names under
// BerthkeepFeedbackURL, or else a mail to the makers whose body already carries
// the version, build and system. A bad configured value silently selects mail.
class BerthkeepFeedbackDestination {
public:
    static constexpr const char* mailAddress = "feedback@berthkeep.app";
    static constexpr const char* mailSubject = "Berthkeep Feedback";

    BerthkeepFeedbackDestination() = delete;

    static QUrl url(const PropertyListValue::Dictionary& infoDictionary,
                    const std::string& appVersion, const std::string& buildNumber,
                    const std::string& operatingSystemVersion);
    // The same with the main bundle's Info.plist and versions ("dev" when
    // missing) and this system's version text.
    static QUrl url();

private:
    static std::optional<QUrl> configuredFeedbackURL(const PropertyListValue::Dictionary& info);
    static QUrl fallbackEmailURL(const std::string& appVersion, const std::string& buildNumber,
                                 const std::string& operatingSystemVersion);
};

} // namespace berthkeep
