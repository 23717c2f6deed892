#pragma once

#include <QWidget>

namespace berthkeep {

// The settings window's backdrop: the window colour with a faint diagonal wash
// of the accent colour at the top-leading corner.
class SettingsWindowBackground final : public QWidget {
public:
    explicit SettingsWindowBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace berthkeep
