#include "Berthkeep/Settings/FullMonitoringPromptPanelPresenter.hpp"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/FullMonitoringPromptView.hpp"
#include "Berthkeep/Settings/SettingsFullMonitoringCard.hpp"
#include "Berthkeep/Settings/SettingsSwitch.hpp"
#include "Berthkeep/Settings/SettingsToggleRow.hpp"
#include "SettingsTestSupport.hpp"
#include "platform/Activation/RecordingApplicationActivation.hpp"

namespace berthkeep {
namespace {

using Call = RecordingApplicationActivation::Call;

TEST(FullMonitoringPromptPanelPresenter, KeepsOnePromptAndClosesItBeforeTheAnswerRuns) {
    auto activation = std::make_shared<RecordingApplicationActivation>();
    FullMonitoringPromptPanelPresenter presenter(activation);
    std::vector<std::string> answers;
    presenter.present([&] { answers.push_back("first continue"); },
                      [&] { answers.push_back("first not now"); });
    QPointer<QWidget> first = presenter.panel();
    presenter.present([&] { answers.push_back(presenter.panel() ? "open" : "closed"); },
                      [&] { answers.push_back("second not now"); });
    ASSERT_NE(presenter.panel(), nullptr);
    EXPECT_NE(presenter.panel(), first.data());
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_EQ(presenter.panel()->windowTitle(), "Drive Handling");
    EXPECT_EQ(presenter.panel()->size(), QSize(440, 260));
    EXPECT_EQ(activation->calls(), (std::vector<Call>{Call::activate, Call::activate}))
        << "activates without touching the policy";

    presenter.view()->continueButton()->click();
    EXPECT_EQ(answers, std::vector<std::string>{"closed"});
    EXPECT_EQ(presenter.panel(), nullptr);
}

TEST(FullMonitoringPromptPanelPresenter, SwitchOpensThePromptAndItsAnswersDecide) {
    struct Case {
        const char* name;
        const char* button; // null: closed, by its close button or by a key
        bool wanted;
        FullMonitoringOnboardingState onboarding;
        QKeyCombination keys = QKeyCombination(Qt::Key_unknown);
    };
    using State = FullMonitoringOnboardingState;
    for (const Case& test : std::vector<Case>{
             {"continue", "Continue", true, State::acknowledged},
             {"not now", "Not Now", false, State::deferred},
             {"closed", nullptr, false, State::notDetermined},
             {"escape", nullptr, false, State::notDetermined, QKeyCombination(Qt::Key_Escape)},
             {"control-w", nullptr, false, State::notDetermined,
              QKeyCombination(Qt::ControlModifier, Qt::Key_W)}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.defaults = std::make_shared<InMemoryUserDefaults>(PropertyListValue::Dictionary{
            {AppPreferencesStore::Keys::fullMonitoringPreference, "off"},
            {AppPreferencesStore::Keys::fullMonitoringUserOverride, true}});
        auto presenter = std::make_shared<FullMonitoringPromptPanelPresenter>(nullptr);
        fixture.customPromptPresenter = presenter;
        auto store = settingstest::quietStore(fixture);
        BerthkeepSettingsView page(*store, false, {}, "dev", "dev");
        SettingsSwitch* toggle = page.fullMonitoringCard()->fullMonitoringRow()->toggle();

        toggle->click();
        ASSERT_NE(presenter->panel(), nullptr);
        EXPECT_FALSE(toggle->isChecked()) << "nothing changes before the answer";
        EXPECT_FALSE(store->fullMonitoringEnabled());
        if (test.button) {
            auto* view = presenter->view();
            (test.button == std::string("Continue") ? view->continueButton() : view->notNowButton())
                ->click();
            EXPECT_EQ(presenter->panel(), nullptr);
        } else if (test.keys.key() != Qt::Key_unknown) {
            QKeyEvent press(QEvent::KeyPress, test.keys.key(), test.keys.keyboardModifiers());
            QCoreApplication::sendEvent(presenter->view()->notNowButton(), &press);
            EXPECT_FALSE(presenter->panel()->isVisible());
        } else {
            presenter->panel()->close();
        }
        test::processQueuedEvents();
        EXPECT_EQ(store->fullMonitoringEnabled(), test.wanted);
        EXPECT_EQ(toggle->isChecked(), test.wanted);
        EXPECT_EQ(store->preferences().fullMonitoringOnboardingState(), test.onboarding);
    }
}

} // namespace
} // namespace berthkeep
