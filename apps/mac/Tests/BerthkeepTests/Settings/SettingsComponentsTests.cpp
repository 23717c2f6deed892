#include <gtest/gtest.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "Berthkeep/Settings/SettingsInfoText.hpp"
#include "Berthkeep/Settings/SettingsPathText.hpp"
#include "Berthkeep/Settings/SettingsStatusPill.hpp"
#include "Berthkeep/Settings/SettingsSymbolBadge.hpp"
#include "Berthkeep/Settings/SettingsSymbolPainter.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {
namespace {

const QString kLong = "Monitors system-level file access to detect when apps like Preview or "
                      "Finder are reading from or writing to a drive, even when they appear "
                      "inactive, and reduces failed eject attempts.";

TEST(SettingsComponents, TextsWrapAndOnlyLimitedOnesAreCut) {
    struct Case {
        int lineLimit;
        qsizetype lines;
        bool cut;
    };
    for (const Case& test : std::vector<Case>{{0, 0, false}, {2, 2, true}, {1, 1, true}}) {
        SettingsText text(kLong, SettingsTypography::caption(), SettingsText::Style::secondary,
                          test.lineLimit);
        const QStringList lines = text.visibleLines(160);
        if (test.lineLimit == 0) {
            EXPECT_GT(lines.size(), 2) << "a narrow note wraps onto several lines";
            EXPECT_EQ(lines.join(' ').simplified(), kLong.simplified()) << "and shows it all";
        } else {
            EXPECT_EQ(lines.size(), test.lines);
            EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
        }
        // Narrow is taller, except for a single line, which stays one line.
        EXPECT_EQ(text.heightForWidth(160) > text.heightForWidth(2000), test.lineLimit != 1);
    }
    SettingsInfoText hidden("Allow Berthkeep notifications in System Settings.");
    hidden.setContentsMargins(56, 0, 16, 10);
    SettingsInfoText bare("Allow Berthkeep notifications in System Settings.");
    EXPECT_EQ(hidden.heightForWidth(600), bare.heightForWidth(600 - 72) + 10)
        << "the inset is part of the note, so hiding it hides the inset too";
}

TEST(SettingsComponents, PillStaysOnOneLineAndBadgeScalesItsSymbol) {
    SettingsStatusPill pill("Status: Checking with a much longer label", Qt::gray);
    pill.resize(80, pill.sizeHint().height());
    EXPECT_TRUE(pill.shownText().endsWith(QChar(0x2026)));
    pill.resize(pill.sizeHint());
    EXPECT_EQ(pill.shownText(), pill.label());

    SettingsSymbolBadge badge("waveform.path.ecg", Qt::blue, 30);
    EXPECT_EQ(badge.size(), QSize(30, 30));
    EXPECT_DOUBLE_EQ(badge.symbolPointSize(), 13.8);
    for (const char* name :
         {"externaldrive.connected.to.line.below", "slider.horizontal.3", "waveform.path.ecg",
          "externaldrive.fill", "lock.shield", "info.circle.fill", "power", "bell.badge", "eye",
          "sparkles", "chart.bar.fill", "app.badge", "checkmark.circle.fill"}) {
        EXPECT_TRUE(SettingsSymbolPainter::knows(name)) << name;
    }
}

// A drive's path is there to be copied: cut in the middle to fit, it still
// selects with the mouse, and what it copies is the path, not the ellipsis.
TEST(SettingsComponents, APathCutInTheMiddleSelectsWithTheMouseAndCopiesThePath) {
    const QString path = "/Volumes/" + QString(60, 'L') + "/Long Drive Name 30";
    SettingsPathText text(path, SettingsTypography::captionMonospaced());
    text.resize(200, text.sizeHint().height());
    text.show();
    QCoreApplication::processEvents();
    const QString shown = text.visibleText(text.width());
    ASSERT_TRUE(shown.contains(QChar(0x2026)));

    const auto mouse = [&text](QEvent::Type type, int x, Qt::MouseButtons held) {
        const QPointF at(x, text.height() / 2);
        QMouseEvent event(type, at, text.mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&text, &event);
    };
    const auto copied = [&text] {
        QGuiApplication::clipboard()->clear();
        QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        QCoreApplication::sendEvent(&text, &copy);
        return QGuiApplication::clipboard()->text();
    };
    mouse(QEvent::MouseButtonPress, 0, Qt::LeftButton);
    mouse(QEvent::MouseMove, text.width() - 1, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, text.width() - 1, Qt::NoButton);
    EXPECT_EQ(copied(), path);

    // Either side of the ellipsis copies just what it shows.
    text.setSelection(1, 7);
    EXPECT_EQ(copied(), "Volumes");
    text.setSelection(static_cast<int>(shown.size()) - 7, 7);
    EXPECT_EQ(copied(), "Name 30");

    // The context menu's Select All and Copy.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4), text.mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(&text, &click);
    auto* menu = text.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    menu->actions().at(1)->trigger();
    QGuiApplication::clipboard()->clear();
    menu->actions().at(0)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), path);
}

} // namespace
} // namespace berthkeep
