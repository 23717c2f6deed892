#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

namespace berthkeep {

// A path on one line: cut in the middle with an ellipsis where it does not fit,
// so both the start and the drive's own folder stay readable. The whole path is
// the tooltip and the accessible name. It asks for no width of its own, so a long
// path never pushes the row's switch out of view.
class SettingsPathText final : public QWidget {
public:
    SettingsPathText(QString path, QFont font, QWidget* parent = nullptr);

    const QString& path() const { return m_path; }
    // The text as drawn at a width.
    QString visibleText(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_path;
};

} // namespace berthkeep
