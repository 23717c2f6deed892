#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>

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

} // namespace
} // namespace berthkeep
