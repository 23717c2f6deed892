#include "BerthkeepApp/InterimMenuContentWidget.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "Berthkeep/MenuBar/MenuBarExtraActionDispatcher.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"

namespace berthkeep {

InterimMenuContentWidget::InterimMenuContentWidget(BerthkeepStore& store,
                                                   const MenuBarExtraActionDispatcher& dispatcher,
                                                   QWidget* parent)
    : QWidget(parent)
    , m_store(store) {
    setMinimumWidth(356);
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    layout->addWidget(m_text);

    auto* buttons = new QHBoxLayout();
    const QPointer<BerthkeepStore> weakStore(&store);
    const auto addButton = [&](const QString& title, std::function<void()> action) {
        auto* button = new QPushButton(title, this);
        connect(button, &QPushButton::clicked, this,
                [&dispatcher, action] { dispatcher.dispatch(action); });
        buttons->addWidget(button);
    };
    for (const auto kind :
         {MenubarUtilityAction::Kind::ejectAll, MenubarUtilityAction::Kind::ejectAndSleep}) {
        const QString title = kind == MenubarUtilityAction::Kind::ejectAll
                                  ? QStringLiteral("Eject All")
                                  : QStringLiteral("Eject & Sleep");
        addButton(title, [weakStore, kind] {
            if (weakStore) {
                weakStore->perform(kind);
            }
        });
    }
    addButton(QStringLiteral("Quit"), [weakStore] {
        if (weakStore) {
            weakStore->quit();
        }
    });
    layout->addLayout(buttons);

    connect(&store, &BerthkeepStore::currentStateChanged, this, &InterimMenuContentWidget::render);
    render();
}

void InterimMenuContentWidget::render() {
    const MenubarViewState& state = m_store.currentState();
    QStringList lines;
    lines << QString::fromStdString(state.globalState.headerCopy());
    for (const DriveRowState& row : state.drives) {
        lines << QStringLiteral("  %1: %2")
                     .arg(QString::fromStdString(row.name),
                          QString::fromStdString(row.statusDetail()));
    }
    if (const auto lastAction = state.lastActionText()) {
        lines << QString::fromStdString(*lastAction);
    }
    m_text->setText(lines.join(QLatin1Char('\n')));
}

} // namespace berthkeep
