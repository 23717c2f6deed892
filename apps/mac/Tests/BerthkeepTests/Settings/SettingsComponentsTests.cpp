#include <gtest/gtest.h>

#include "Berthkeep/Settings/SettingsInfoText.hpp"
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

} // namespace
} // namespace berthkeep
