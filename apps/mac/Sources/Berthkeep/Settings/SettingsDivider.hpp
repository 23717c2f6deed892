#pragma once

#include <QWidget>

namespace berthkeep {

// The card's separator line, starting where a row's content starts (16 points
// in) and running to the card's trailing edge.
class SettingsDivider final : public QWidget {
public:
    explicit SettingsDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace berthkeep
