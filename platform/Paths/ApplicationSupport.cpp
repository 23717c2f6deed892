#include "platform/Paths/ApplicationSupport.hpp"

#include <QDir>
#include <QStandardPaths>
#include <QString>

namespace berthkeep {

std::optional<std::string> ApplicationSupport::baseDirectory() {
    const QString location = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (location.isEmpty()) {
        return std::nullopt;
    }
    return location.toStdString();
}

std::optional<std::string> ApplicationSupport::directory(const std::string& folderName) {
    const auto base = baseDirectory();
    if (!base) {
        return std::nullopt;
    }
    return QDir(QString::fromStdString(*base))
        .filePath(QString::fromStdString(folderName))
        .toStdString();
}

} // namespace berthkeep
