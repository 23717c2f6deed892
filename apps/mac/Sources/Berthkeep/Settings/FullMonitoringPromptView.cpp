#include "Berthkeep/Settings/FullMonitoringPromptView.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "Berthkeep/Settings/SettingsInfoText.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsSymbolPainter.hpp"
#include "Berthkeep/Settings/SettingsText.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

namespace {

// A checkmark in a circle before a secondary callout text.
class BenefitLabel final : public QWidget {
public:
    explicit BenefitLabel(const QString& text) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        auto* mark = new QWidget;
        mark->setFixedSize(16, 16);
        m_mark = mark;
        row->addWidget(mark, 0, Qt::AlignVCenter);
        row->addWidget(
            new SettingsText(text, SettingsTypography::callout(), SettingsText::Style::secondary),
            1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        SettingsSymbolPainter::paint(painter, "checkmark.circle.fill", m_mark->geometry(),
                                     palette().color(QPalette::PlaceholderText), 12);
    }

private:
    QWidget* m_mark;
};

} // namespace

FullMonitoringPromptView::FullMonitoringPromptView(std::function<void()> onContinue,
                                                   std::function<void()> onNotNow, QWidget* parent)
    : QWidget(parent)
    , m_continueButton(new QPushButton("Continue"))
    , m_notNowButton(new QPushButton("Not Now")) {
    setFixedWidth(width);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    stack->addWidget(new SettingsText("Enable Full Monitoring?",
                                      SettingsTypography::title3Semibold(),
                                      SettingsText::Style::primary));
    stack->addWidget(new SettingsText("Berthkeep can more reliably detect when apps like Preview "
                                      "are still using an external drive.",
                                      SettingsTypography::body(), SettingsText::Style::primary));
    stack->addWidget(new SettingsInfoText("This may trigger macOS permission prompts."));
    auto* benefits = new QVBoxLayout;
    benefits->setSpacing(8);
    benefits->addWidget(new BenefitLabel("More accurate safe / in-use status"));
    benefits->addWidget(new BenefitLabel("Fewer failed eject attempts"));
    stack->addLayout(benefits);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    buttons->addWidget(m_notNowButton);
    buttons->addWidget(m_continueButton);
    m_continueButton->setDefault(true);
    // The prominent answer: filled with the accent colour.
    QPalette prominent = m_continueButton->palette();
    prominent.setColor(QPalette::Button, SettingsPalette::accent(palette()));
    prominent.setColor(QPalette::ButtonText, Qt::white);
    m_continueButton->setPalette(prominent);
    stack->addLayout(buttons);
    stack->addStretch(1);

    connect(m_continueButton, &QPushButton::clicked, this, [action = std::move(onContinue)] {
        if (action) {
            action();
        }
    });
    connect(m_notNowButton, &QPushButton::clicked, this, [action = std::move(onNotNow)] {
        if (action) {
            action();
        }
    });
}

} // namespace berthkeep
