#include "Berthkeep/Settings/FullMonitoringPromptPanelPresenter.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "Berthkeep/Settings/FullMonitoringPromptView.hpp"
#include "Berthkeep/Settings/WindowCloseShortcuts.hpp"

namespace berthkeep {

FullMonitoringPromptPanelPresenter::FullMonitoringPromptPanelPresenter(
    std::shared_ptr<ApplicationActivation> activation)
    : m_activation(std::move(activation)) {}

FullMonitoringPromptPanelPresenter::~FullMonitoringPromptPanelPresenter() {
    dismiss();
}

void FullMonitoringPromptPanelPresenter::present(Action onContinue, Action onNotNow) {
    dismiss();
    const QPointer<FullMonitoringPromptPanelPresenter> presenter(this);
    auto answer = [presenter](const Action& action) {
        if (presenter) {
            presenter->dismiss();
        }
        if (action) {
            action();
        }
    };
    auto* content = new FullMonitoringPromptView(
        [answer, onContinue = std::move(onContinue)] { answer(onContinue); },
        [answer, onNotNow = std::move(onNotNow)] { answer(onNotNow); });

    // A floating tool window: it stays above the other windows and is not
    // hidden when the program loses focus.
    auto* panel = new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                           Qt::WindowCloseButtonHint);
    panel->setWindowTitle("Drive Handling");
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    panel->setFixedSize(panelWidth, panelHeight);
    addWindowCloseShortcuts(panel);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), panel->size());
        frame.moveCenter(screen->availableGeometry().center());
        panel->move(frame.topLeft());
    }
    m_panel = panel;
    m_view = content;
    // Shown before the program is brought forward, so the prompt is the window
    // that comes forward with it. The activation policy stays as it is.
    panel->show();
    if (m_activation) {
        m_activation->activateIgnoringOtherApps();
    }
    panel->raise();
    panel->activateWindow();
}

void FullMonitoringPromptPanelPresenter::dismiss() {
    if (QWidget* panel = m_panel) {
        m_panel = nullptr;
        panel->hide();
        panel->close();
        // Later: a button's own click may be what dismisses it.
        panel->deleteLater();
    }
}

} // namespace berthkeep
