#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace berthkeep {

class SettingsSwitch;
class SettingsText;

// A labelled switch bound to a value it does not own: it shows what `read`
// returns and hands a click to `write`, then shows what `read` returns after.
class SettingsToggleRow final : public QWidget {
public:
    struct Binding {
        std::function<bool()> read;
        std::function<void(bool)> write;
    };

    SettingsToggleRow(const QString& label, const QString& detail, const QString& systemImage,
                      Binding binding, QWidget* parent = nullptr);

    void refresh();
    SettingsSwitch* toggle() const { return m_switch; }
    const QString& label() const { return m_label; }

private:
    QString m_label;
    Binding m_binding;
    SettingsSwitch* m_switch;
};

} // namespace berthkeep
