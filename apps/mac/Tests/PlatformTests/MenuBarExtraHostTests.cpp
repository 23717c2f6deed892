#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QScreen>
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

// On a 1600x1000 screen, a list of 60 drives once made a 3,374 px popup placed at
// y=0 over the icon, with its bottom rows out of reach.
TEST(MenuBarExtraHost, APopupFitsBesideTheIconWhereverTheTraySits) {
    const QRect screen(0, 0, 1600, 1000);
    const QRect topIcon(1500, 0, 24, 24);
    const QRect bottomIcon(1500, 976, 24, 24);
    EXPECT_EQ(MenuBarExtraHost::popupHeightLimit(topIcon, screen), 976);
    EXPECT_EQ(MenuBarExtraHost::popupHeightLimit(bottomIcon, screen), 976);
    // A panel that reserves its strip leaves the whole free area.
    EXPECT_EQ(MenuBarExtraHost::popupHeightLimit(topIcon, QRect(0, 24, 1600, 976)), 976);

    const QSize tall(356, 976);
    EXPECT_EQ(MenuBarExtraHost::popupFrame(tall, topIcon, screen), QRect(1244, 24, 356, 976));
    EXPECT_EQ(MenuBarExtraHost::popupFrame(tall, bottomIcon, screen), QRect(1244, 0, 356, 976));
    EXPECT_EQ(MenuBarExtraHost::popupFrame(QSize(356, 300), QRect(10, 976, 24, 24), screen),
              QRect(10, 676, 356, 300));
}

// Asks for a height and gives way to any less, as the menu's list does.
class ContentOfHeight final : public QWidget {
public:
    explicit ContentOfHeight(int height)
        : m_height(height) {
        setFixedWidth(356);
    }
    QSize sizeHint() const override { return {356, m_height}; }
    void setHeight(int height) {
        m_height = height;
        updateGeometry();
    }

private:
    int m_height;
};

TEST(MenuBarExtraHost, ThePanelNeverOutgrowsItsScreenAndThePopupFollowsItsSize) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto mode : {MenuBarExtraHost::Mode::window, MenuBarExtraHost::Mode::trayPopup}) {
        SCOPED_TRACE(mode == MenuBarExtraHost::Mode::window ? "window" : "popup");
        auto* content = new ContentOfHeight(3374);
        MenuBarExtraHost host(content, QIcon(), QStringLiteral("Berthkeep"), mode);
        host.open();
        QCoreApplication::processEvents();
        EXPECT_LE(host.panel()->height(), available.height());
        EXPECT_GT(host.panel()->height(), available.height() / 2);
        EXPECT_TRUE(available.contains(host.panel()->frameGeometry()));

        // Rows go while it is open: the popup shrinks and is placed again.
        content->setHeight(200);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(host.panel()->height(), 200);
        EXPECT_TRUE(available.contains(host.panel()->frameGeometry()));
        if (mode == MenuBarExtraHost::Mode::trayPopup) {
            const QRect expected = MenuBarExtraHost::popupFrame(
                host.panel()->size(), QRect(QCursor::pos(), QSize(1, 1)), available);
            EXPECT_EQ(host.panel()->geometry(), expected);
        }
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
