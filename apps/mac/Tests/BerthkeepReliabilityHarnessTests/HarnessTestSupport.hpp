#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <filesystem>
#include <random>
#include <string>

#include "BerthkeepReliabilityHarness/MenuContentFactory.hpp"

namespace berthkeep::harnesstest {

// Stands in for the product's menu: the state's header on a fixed-height
// column, and every factory call counted.
struct StandInMenu {
    static constexpr int height = 300;
    int built = 0;
    MenubarViewState lastState;

    MenuContentFactory factory() {
        return [this](const MenubarViewState& state, MenuContentCallbacks, QWidget* parent) {
            ++built;
            lastState = state;
            auto* menu = new QWidget(parent);
            menu->setFixedHeight(height);
            auto* layout = new QVBoxLayout(menu);
            layout->addWidget(new QLabel(QString::fromStdString(state.globalState.headerCopy())));
            return static_cast<QWidget*>(menu);
        };
    }
};

// A fresh folder under the system temporary folder, removed with the object.
struct TemporaryFolder {
    TemporaryFolder() {
        std::random_device random;
        path = std::filesystem::temp_directory_path() /
               ("berthkeep-harness-" + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

} // namespace berthkeep::harnesstest
