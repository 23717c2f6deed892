#pragma once

#include <functional>
#include <memory>

#include "Berthkeep/MenuBar/BerthkeepMenubarExtraScene.hpp"
#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"
#include "Berthkeep/Shell/BerthkeepLiveShellState.hpp"

namespace berthkeep {

// What the program puts up: the composition root over the chosen platform and
// the menu-bar extra over its store, with the feedback address opened through
// the platform's link opener. The product and the developer harness each make
// one. Destroying it takes the menu down first, then the store, then the
// platform services. Main thread only.
class BerthkeepMenubarProductScenes {
public:
    BerthkeepMenubarProductScenes(std::shared_ptr<BerthkeepLivePlatform> platform,
                                  bool isUpdateCheckAvailable = false,
                                  std::function<void()> onCheckForUpdates = {},
                                  BerthkeepMenubarExtraScene::Options options = {});
    ~BerthkeepMenubarProductScenes();

    BerthkeepMenubarProductScenes(const BerthkeepMenubarProductScenes&) = delete;
    BerthkeepMenubarProductScenes& operator=(const BerthkeepMenubarProductScenes&) = delete;

    void show() { m_scene->show(); }
    BerthkeepStore& store() const { return *m_shell->store(); }
    void showSettings() const { m_shell->showSettings()(); }
    BerthkeepMenubarExtraScene& scene() const { return *m_scene; }

private:
    std::shared_ptr<BerthkeepLivePlatform> m_platform;
    std::unique_ptr<BerthkeepLiveShellState> m_shell;
    std::unique_ptr<BerthkeepMenubarExtraScene> m_scene;
};

} // namespace berthkeep
