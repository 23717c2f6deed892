#pragma once

#include <QAbstractButton>

namespace berthkeep {

// A switch-style toggle drawn to match the page. A click only reports the value
// asked for (clicked(bool)); the owner stores it and sets what was kept, so the
// switch springs back when the store refuses.
class SettingsSwitch final : public QAbstractButton {
public:
    explicit SettingsSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}
};

} // namespace berthkeep
