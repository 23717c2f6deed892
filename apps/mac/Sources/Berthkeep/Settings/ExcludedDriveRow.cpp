#include "Berthkeep/Settings/ExcludedDriveRow.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsPathText.hpp"
#include "Berthkeep/Settings/SettingsSwitch.hpp"
#include "Berthkeep/Settings/SettingsText.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

namespace {

// The status word on its capsule.
class StatusCapsule final : public QLabel {
public:
    StatusCapsule(const QString& text, const QColor& foreground, const QColor& background)
        : QLabel(text)
        , m_background(background) {
        setFont(SettingsTypography::caption2Medium());
        setContentsMargins(7, 2, 7, 2);
        QPalette colours = palette();
        colours.setColor(QPalette::WindowText, foreground);
        setPalette(colours);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_background);
        painter.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        painter.end();
        QLabel::paintEvent(event);
    }

private:
    QColor m_background;
};

} // namespace

ExcludedDriveRow::ExcludedDriveRow(DetectedDrive drive, ToggleExcluded onToggleExcluded,
                                   QWidget* parent)
    : QWidget(parent)
    , m_drive(std::move(drive))
    , m_onToggleExcluded(std::move(onToggleExcluded))
    , m_switch(new SettingsSwitch) {
    const QString name = QString::fromStdString(m_drive.name());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(16);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* title = new QHBoxLayout;
    title->setSpacing(8);
    title->addWidget(
        new SettingsText(name, SettingsTypography::bodyMedium(), SettingsText::Style::primary, 1),
        0, Qt::AlignVCenter);
    title->addWidget(new StatusCapsule(statusText(), statusForeground(), statusBackgroundColor()),
                     0, Qt::AlignVCenter);
    title->addStretch(1);
    texts->addLayout(title);

    texts->addWidget(new SettingsPathText(subtitle(), SettingsTypography::captionMonospaced()));
    texts->addWidget(new SettingsText(descriptionText(), SettingsTypography::caption(),
                                      SettingsText::Style::secondary));
    row->addLayout(texts, 1);

    m_switch->setChecked(isExcluded());
    m_switch->setAccessibleName(statusText() + " " + name);
    m_switch->setToolTip(toggleHelp());
    row->addWidget(m_switch, 0, Qt::AlignTop);
    connect(m_switch, &SettingsSwitch::clicked, this, [this] {
        if (m_onToggleExcluded) {
            m_onToggleExcluded(!isExcluded());
        }
    });
}

QString ExcludedDriveRow::subtitle() const {
    if (!m_drive.mountURL()) {
        return QStringLiteral("Not mounted");
    }
    // A mount point's URL ends in a slash; the path the user knows does not.
    QString path = m_drive.mountURL()->path();
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

QString ExcludedDriveRow::statusText() const {
    return isExcluded() ? QStringLiteral("Excluded") : QStringLiteral("Managed");
}

QString ExcludedDriveRow::descriptionText() const {
    return isExcluded()
               ? QStringLiteral("Ignored by automatic eject, remount, and activity monitoring")
               : QStringLiteral("Included in automatic eject, remount, and activity monitoring");
}

QString ExcludedDriveRow::toggleHelp() const {
    return isExcluded() ? QStringLiteral("Include this drive in Berthkeep automation")
                        : QStringLiteral("Exclude this drive from Berthkeep automation");
}

QColor ExcludedDriveRow::statusForeground() const {
    return isExcluded() ? SettingsPalette::secondaryTint() : SettingsPalette::green();
}

QColor ExcludedDriveRow::statusBackgroundColor() const {
    return isExcluded() ? MenuBarPalette::withOpacity(SettingsPalette::secondaryTint(), 0.1)
                        : MenuBarPalette::withOpacity(SettingsPalette::green(), 0.12);
}

} // namespace berthkeep
