#include "Berthkeep/Shell/BerthkeepMenubarProductScenes.hpp"

#include "platform/UrlOpening/UrlOpening.hpp"

namespace berthkeep {

BerthkeepMenubarProductScenes::BerthkeepMenubarProductScenes(
    std::shared_ptr<BerthkeepLivePlatform> platform, bool isUpdateCheckAvailable,
    std::function<void()> onCheckForUpdates, BerthkeepMenubarExtraScene::Options options)
    : m_platform(std::move(platform))
    , m_shell(std::make_unique<BerthkeepLiveShellState>(
          m_platform, BerthkeepLiveShellState::liveBuilders(m_platform), isUpdateCheckAvailable,
          std::move(onCheckForUpdates))) {
    if (!options.openFeedbackURL && m_platform->urlOpener) {
        options.openFeedbackURL = [opener = m_platform->urlOpener](const QUrl& url) {
            opener->open(url);
        };
    }
    m_scene = std::make_unique<BerthkeepMenubarExtraScene>(
        *m_shell->store(), [shell = m_shell.get()] { shell->showSettings()(); },
        std::move(options));
}

BerthkeepMenubarProductScenes::~BerthkeepMenubarProductScenes() {
    m_scene.reset();
    m_shell.reset();
}

} // namespace berthkeep
