#include "BerthkeepReliabilityHarness/HarnessShell.hpp"

#include "Berthkeep/Shell/BerthkeepMenubarProductScenes.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

namespace {

// The product's scenes without an update check, beside the harness window.
class ProductHarnessShell final : public HarnessShell {
public:
    explicit ProductHarnessShell(std::shared_ptr<BerthkeepLivePlatform> platform)
        : m_scenes(std::move(platform)) {
        m_scenes.show();
    }

    BerthkeepStore& store() override { return m_scenes.store(); }
    void openSettings() override { m_scenes.showSettings(); }

private:
    BerthkeepMenubarProductScenes m_scenes;
};

} // namespace

std::unique_ptr<HarnessShell> makeHarnessShell() {
    BerthkeepRustBridgeBootstrap::registerFactories();
    const auto bundle = AppBundle::main();
    return std::make_unique<ProductHarnessShell>(std::make_shared<BerthkeepLivePlatform>(
        BerthkeepLivePlatform::simulatedMachine(SimulatedStateFile::fromEnvironment(), *bundle)));
}

MenuContentFactory productMenuContentFactory() {
    return [](const MenubarViewState& state, MenuContentCallbacks callbacks, QWidget* parent) {
        return new MenuBarContentView(state, std::move(callbacks), parent);
    };
}

} // namespace berthkeep
