#include "BerthkeepReliabilityHarness/DriveDebugRow.hpp"

#include <QDir>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "BerthkeepReliabilityHarness/HarnessText.hpp"

namespace berthkeep {

DriveDebugRow::DriveDebugRow(const DetectedDrive& drive, bool isWorking, QWidget* parent)
    : HarnessCardFrame(12, Fill::control, parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    auto* facts = new QVBoxLayout;
    facts->setSpacing(4);
    facts->addWidget(
        harnessLabel(drive.name(), HarnessTextStyle::callout, {.weight = QFont::Medium}));
    if (drive.mountURL()) {
        QLabel* path = harnessLabel(
            // A mount URL names a folder and ends in "/"; the path reads better without it.
            QDir::cleanPath(drive.mountURL()->toLocalFile()), HarnessTextStyle::caption,
            {.secondary = true, .monospaced = true, .elides = true, .selectable = true});
        path->setObjectName(QStringLiteral("mountPath"));
        facts->addWidget(path);
    } else {
        facts->addWidget(harnessLabel(QStringLiteral("Not mounted"), HarnessTextStyle::caption,
                                      {.secondary = true, .monospaced = true}));
    }
    facts->addWidget(
        harnessLabel(debugSubtitle(drive), HarnessTextStyle::caption, {.secondary = true}));
    top->addLayout(facts);
    top->addStretch(1);
    top->addSpacing(10);

    const bool excluded = drive.scope() == DetectedDrive::Scope::excluded;
    QLabel* badge =
        harnessLabel(QString::fromLatin1(excluded ? "Excluded" : "Managed"),
                     HarnessTextStyle::caption, {.weight = QFont::Medium, .secondary = !excluded});
    if (excluded) {
        QPalette badgePalette = badge->palette();
        badgePalette.setColor(QPalette::WindowText, MenuBarPalette::excludedStatus(palette()));
        badge->setPalette(badgePalette);
    }
    badge->setObjectName(QStringLiteral("scopeBadge"));
    top->addWidget(badge, 0, Qt::AlignTop);
    column->addLayout(top);

    if (isWorking) {
        column->addWidget(harnessLabel(QStringLiteral("Auto eject attempt running"),
                                       HarnessTextStyle::caption, {.secondary = true}));
    }
}

std::string DriveDebugRow::debugSubtitle(const DetectedDrive& drive) {
    if (!drive.mountURL()) {
        return "Connected but not mounted";
    }
    return drive.isEjectable() ? "Mounted ejectable volume" : "Mounted non-ejectable volume";
}

} // namespace berthkeep
