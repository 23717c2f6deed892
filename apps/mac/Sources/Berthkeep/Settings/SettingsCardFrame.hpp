#pragma once

#include <QWidget>

namespace berthkeep {

// The chrome of the page header and of every card: a translucent surface with
// rounded corners (radius 8) and a hairline outline inside its edge.
class SettingsCardFrame : public QWidget {
public:
    explicit SettingsCardFrame(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace berthkeep
