#pragma once

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TaskDriver.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep::testing {

// Waits between events rather than spinning: a spinning test is one more
// process at full load beside the children it waits for.
using test::spinUntil;

// For a tool run that should end: past what a loaded machine takes to start an
// instrumented tool, so only a tool that really hangs reaches it.
inline constexpr int toolAnswerTimeoutMs = 30000;

// A simulated machine of its own per test: state file and mount root in a
// temporary folder.
class SimulatedMachineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_stateFile = std::make_unique<SimulatedStateFile>(statePath());
    }

    std::string statePath() const { return m_folder.filePath("sim/state.json").toStdString(); }
    std::string mountRoot() const { return m_folder.filePath("Volumes").toStdString(); }
    const SimulatedStateFile& stateFile() const { return *m_stateFile; }
    // Where a scripted hang says it has begun (--ready-file).
    QString readyPath() const { return m_folder.filePath(QStringLiteral("ready")); }
    bool waitUntilReady() const {
        return spinUntil([this] { return QFileInfo::exists(readyPath()); }, toolAnswerTimeoutMs);
    }

    struct ToolRun {
        int exitCode = -1;
        bool finished = false;
        std::string standardOutput;
        std::string standardError;
    };

    static QString toolPath(const QString& name) {
        return QStringLiteral(BERTHKEEP_SIM_BIN_DIR "/") + name;
    }

    ToolRun runTool(const QString& name, const QStringList& arguments,
                    int timeoutMs = toolAnswerTimeoutMs) const {
        return runToolWith(name, arguments, toolEnvironment(), false, timeoutMs);
    }

    // With `spinning`, this process's event loop runs while the tool does, for
    // tools that wait on something this process delivers.
    ToolRun runToolWith(const QString& name, const QStringList& arguments,
                        const QProcessEnvironment& environment, bool spinning,
                        int timeoutMs = toolAnswerTimeoutMs) const {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(toolPath(name), arguments);
        ToolRun run;
        if (!process.waitForStarted(5000)) {
            return run;
        }
        run.finished =
            spinning ? spinUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)
                     : process.waitForFinished(timeoutMs);
        if (!run.finished) {
            process.kill();
            process.waitForFinished(5000);
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.standardOutput = process.readAllStandardOutput().toStdString();
        run.standardError = process.readAllStandardError().toStdString();
        return run;
    }

    QProcessEnvironment toolEnvironment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BERTHKEEP_SIM_STATE"),
                           QString::fromStdString(statePath()));
        return environment;
    }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<SimulatedStateFile> m_stateFile;
};

// Parsed property list, freed on scope exit.
struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHandle = std::unique_ptr<void, PlistDeleter>;

inline PlistHandle parsePlist(const std::string& xml) {
    plist_t root = nullptr;
    if (!xml.empty()) {
        plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    }
    return PlistHandle(root);
}

inline std::string plistString(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return "<not a string>";
    }
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string text = value ? value : "";
    free(value);
    return text;
}

inline std::optional<bool> plistBool(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN) {
        return std::nullopt;
    }
    uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

inline std::vector<std::string> plistStrings(plist_t array) {
    std::vector<std::string> result;
    if (!array || plist_get_node_type(array) != PLIST_ARRAY) {
        return result;
    }
    for (uint32_t i = 0; i < plist_array_get_size(array); ++i) {
        result.push_back(plistString(plist_array_get_item(array, i)));
    }
    return result;
}

} // namespace berthkeep::testing
