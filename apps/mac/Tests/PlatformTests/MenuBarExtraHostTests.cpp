#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace berthkeep {
namespace {

TEST(MenuBarExtraHost, WithoutATrayTheContentLivesInAWindowThatStaysOpen) {
    ASSERT_EQ(MenuBarExtraHost::preferredMode(), MenuBarExtraHost::Mode::window); // offscreen
    auto* content = new QLabel(QStringLiteral("drives"));
    QPointer<QLabel> watched(content);
    {
        MenuBarExtraHost host(content, QIcon(), QStringLiteral("Berthkeep"));
        int closeRequests = 0;
        QObject::connect(&host, &MenuBarExtraHost::closeRequested, [&] { ++closeRequests; });
        EXPECT_TRUE(host.panel()->isAncestorOf(content));
        host.show();
        EXPECT_TRUE(host.isOpen());
        host.dismiss(); // the only way to the program: a click must not hide it
        EXPECT_TRUE(host.isOpen());
        host.panel()->close();
        EXPECT_TRUE(host.isOpen());
        EXPECT_EQ(closeRequests, 1);
    }
    EXPECT_TRUE(watched.isNull());
}

TEST(MenuBarExtraHost, TrayPopupOpensOnRequestAndDismissHidesIt) {
    MenuBarExtraHost host(new QLabel(QStringLiteral("drives")), QIcon(),
                          QStringLiteral("Berthkeep"), MenuBarExtraHost::Mode::trayPopup);
    host.show();
    EXPECT_FALSE(host.isOpen());
    host.open();
    EXPECT_TRUE(host.isOpen());
    EXPECT_TRUE(host.panel()->windowFlags().testFlag(Qt::FramelessWindowHint));
    host.dismiss();
    EXPECT_FALSE(host.isOpen());
}

// When the content loses rows (a drive ejected or pulled out), the popup and
// the window shrink to it rather than spread the old height over what is left.
TEST(MenuBarExtraHost, ThePanelTakesTheContentsSizeWheneverItChanges) {
    for (const auto mode : {MenuBarExtraHost::Mode::window, MenuBarExtraHost::Mode::trayPopup}) {
        SCOPED_TRACE(mode == MenuBarExtraHost::Mode::window ? "window" : "popup");
        auto* content = new QWidget;
        content->setFixedWidth(356);
        auto* rows = new QVBoxLayout(content);
        std::vector<QLabel*> cards;
        for (int index = 0; index < 5; ++index) {
            cards.push_back(new QLabel(QStringLiteral("Drive %1").arg(index), content));
            cards.back()->setFixedHeight(40);
            rows->addWidget(cards.back());
        }
        MenuBarExtraHost host(content, QIcon(), QStringLiteral("Berthkeep"), mode);
        host.open();
        QCoreApplication::processEvents();
        const int tall = host.panel()->height();
        EXPECT_EQ(tall, content->sizeHint().height());

        host.dismiss();
        for (std::size_t index = 1; index < cards.size(); ++index) {
            delete cards[index];
        }
        QCoreApplication::processEvents();
        host.open();
        QCoreApplication::processEvents();
        EXPECT_LT(host.panel()->height(), tall);
        EXPECT_EQ(host.panel()->height(), content->sizeHint().height());
        EXPECT_EQ(content->height(), content->sizeHint().height());
    }
}

TEST(MenuBarExtraHost, EscapeClosesThePopup) {
    auto* content = new QLabel(QStringLiteral("drives"));
    MenuBarExtraHost host(content, QIcon(), QStringLiteral("Berthkeep"),
                          MenuBarExtraHost::Mode::trayPopup);
    host.open();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(content, &escape);
    EXPECT_FALSE(host.isOpen());
}

} // namespace
} // namespace berthkeep
