#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QWidget>

class QPalette;

namespace berthkeep {

// The product glyph as it stands in the menu bar, with the badge of its variant,
// drawn from the image cache for the colour scheme of the widget's own palette
// and the running bundle identifier, at the pixel ratio of the device it paints
// on. The widget is size x size points and keeps no other state.
class BerthkeepMenubarIcon : public QWidget {
public:
    enum class Variant { safe, attention, limitedProtection, ejecting, mounting };
    // Light and dark appearance; decides the ink of the monochrome image.
    enum class ColorScheme { light, dark };

    BerthkeepMenubarIcon(Variant variant, qreal size, QWidget* parent = nullptr);

    Variant variant() const { return m_variant; }
    void setVariant(Variant variant);
    qreal pointSize() const { return m_size; }
    // Drawn at this opacity (1 by default); the status icon dims quieter states.
    void setOpacity(qreal opacity);

    // Dark when the window colour is darker than mid-grey.
    static ColorScheme colorScheme(const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Variant m_variant;
    qreal m_size;
    qreal m_opacity = 1.0;
};

// "safe", "attention", "limitedProtection", "ejecting", "mounting".
std::string toString(BerthkeepMenubarIcon::Variant variant);
std::optional<BerthkeepMenubarIcon::Variant> menubarIconVariantFromString(std::string_view text);

} // namespace berthkeep
