#include "platform/LoginItems/XdgAutostartLoginItemService.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <optional>
#include <string>

#include "Fifo.hpp"
#include "platform/LoginItems/SimulatedLoginItemService.hpp"

namespace berthkeep {
namespace {

std::string readFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

void writeFile(const std::string& path, const std::string& contents,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents.data(), qint64(contents.size()));
    file.close();
    file.setPermissions(permissions);
}

class LoginItemsXdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        executable = m_root.path().toStdString() + "/Berthkeep.app/Contents/MacOS/Berthkeep";
        ASSERT_TRUE(QDir().mkpath(m_root.path() + "/Berthkeep.app/Contents/MacOS"));
        writeFile(executable, "#!/bin/sh\n",
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        folder = m_root.path().toStdString() + "/config/autostart";
    }

    XdgAutostartLoginItemService service(std::optional<std::string> path = std::nullopt) const {
        return XdgAutostartLoginItemService(folder, "app.berthkeep.Berthkeep",
                                            path.value_or(executable));
    }

    std::string entry(const std::string& extraLines, const std::string& exec) const {
        return "[Desktop Entry]\nType=Application\nName=Berthkeep\nExec=" + exec + "\n" +
               extraLines;
    }

    QTemporaryDir m_root;
    std::string executable;
    std::string folder;
};

TEST_F(LoginItemsXdgAutostartTest, RegisterWritesAnEntryThatStartsTheExecutable) {
    auto loginItem = service();
    EXPECT_EQ(loginItem.status(), LoginItemStatus::notRegistered);
    loginItem.registerItem();
    EXPECT_EQ(loginItem.entryPath(), folder + "/app.berthkeep.Berthkeep.desktop");
    EXPECT_EQ(readFile(loginItem.entryPath()),
              "[Desktop Entry]\nType=Application\nName=Berthkeep\nExec=\"" + executable +
                  "\"\nTerminal=false\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(loginItem.status(), LoginItemStatus::enabled);
    // Registering again rewrites the same entry.
    loginItem.registerItem();
    EXPECT_EQ(loginItem.status(), LoginItemStatus::enabled);

    loginItem.unregisterItem();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(loginItem.entryPath())));
    EXPECT_EQ(loginItem.status(), LoginItemStatus::notRegistered);
    // Nothing to remove is not an error.
    EXPECT_NO_THROW(loginItem.unregisterItem());
}

TEST_F(LoginItemsXdgAutostartTest, EntriesTheSessionWillNotStartRequireApproval) {
    const auto exec = XdgAutostartLoginItemService::execValue(executable);
    struct Case {
        const char* name;
        std::string contents;
        LoginItemStatus expected;
    };
    const std::vector<Case> cases{
        {"plain entry", entry("", exec), LoginItemStatus::enabled},
        {"spaces around the equals sign", "[Desktop Entry]\nExec = " + exec + "\nHidden = false\n",
         LoginItemStatus::enabled},
        {"hidden", entry("Hidden=true\n", exec), LoginItemStatus::requiresApproval},
        {"switched off", entry("X-GNOME-Autostart-enabled=false\n", exec),
         LoginItemStatus::requiresApproval},
        {"another executable", entry("", "\"/usr/bin/true\""), LoginItemStatus::requiresApproval},
        {"no Exec", "[Desktop Entry]\nType=Application\n", LoginItemStatus::requiresApproval},
        {"Exec only in another group",
         "[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=" + exec + "\n",
         LoginItemStatus::requiresApproval},
    };
    auto loginItem = service();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(loginItem.entryPath(), c.contents);
        EXPECT_EQ(loginItem.status(), c.expected);
    }
    // Registering repairs, unregistering removes.
    writeFile(loginItem.entryPath(), entry("Hidden=true\n", exec));
    loginItem.registerItem();
    EXPECT_EQ(loginItem.status(), LoginItemStatus::enabled);
    writeFile(loginItem.entryPath(), entry("Hidden=true\n", exec));
    loginItem.unregisterItem();
    EXPECT_EQ(loginItem.status(), LoginItemStatus::notRegistered);
}

TEST_F(LoginItemsXdgAutostartTest, AMissingApplicationCannotBeRegistered) {
    auto missing = service(m_root.path().toStdString() + "/nowhere/Berthkeep");
    EXPECT_EQ(missing.status(), LoginItemStatus::notFound);
    try {
        missing.registerItem();
        FAIL() << "register must throw";
    } catch (const LoginItemError& error) {
        EXPECT_EQ(error.domain(), LoginItemError::errorDomain);
        EXPECT_EQ(error.code(), LoginItemError::applicationNotFound);
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing.entryPath())));
}

TEST_F(LoginItemsXdgAutostartTest, UnusablePathsAreRefused) {
    for (const std::string& path :
         {std::string(""), std::string("relative/Berthkeep"), executable + "\nExec=/bin/sh"}) {
        SCOPED_TRACE(path);
        auto loginItem = service(path);
        try {
            loginItem.registerItem();
            FAIL() << "register must throw";
        } catch (const LoginItemError& error) {
            EXPECT_EQ(error.code(), LoginItemError::invalidExecutablePath);
        }
        EXPECT_FALSE(QFile::exists(QString::fromStdString(loginItem.entryPath())));
    }
}

TEST_F(LoginItemsXdgAutostartTest, AFolderThatCannotBeMadeFailsTheRegistration) {
    // A file where the configuration folder should be.
    writeFile(m_root.path().toStdString() + "/config", "not a folder");
    auto loginItem = service();
    try {
        loginItem.registerItem();
        FAIL() << "register must throw";
    } catch (const LoginItemError& error) {
        EXPECT_EQ(error.code(), LoginItemError::writeFailed);
    }
}

// A pipe in the entry's place is no entry: asked at start-up, the status
// must come at once rather than wait for a writer.
TEST_F(LoginItemsXdgAutostartTest, APipeInTheEntrysPlaceIsNotWaitedFor) {
    auto loginItem = service();
    const test::Fifo fifo(loginItem.entryPath());
    ASSERT_TRUE(fifo.made());
    LoginItemStatus status = LoginItemStatus::enabled;
    EXPECT_TRUE(fifo.returnsWithin([&] { status = loginItem.status(); }));
    EXPECT_EQ(status, LoginItemStatus::requiresApproval);
}

TEST(LoginItemsXdgExecValueTest, QuotesAndEscapes) {
    struct Case {
        std::string path;
        std::string value;
    };
    const std::vector<Case> cases{
        {"/opt/Berthkeep.app/Contents/MacOS/Berthkeep",
         "\"/opt/Berthkeep.app/Contents/MacOS/Berthkeep\""},
        {"/home/a b/Berthkeep", "\"/home/a b/Berthkeep\""},
        {"/x/100%/app", "\"/x/100%%/app\""},
        {"/x/$HOME/app", "\"/x/\\\\$HOME/app\""},
        {"/x/\"q\"/app", "\"/x/\\\\\"q\\\\\"/app\""},
        {"/x/back\\slash", "\"/x/back\\\\\\\\slash\""},
        {"/x/`cmd`", "\"/x/\\\\`cmd\\\\`\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(XdgAutostartLoginItemService::execValue(c.path), c.value);
    }
}

TEST(LoginItemsXdgFolderTest, FollowsXdgConfigHomeWhenAbsolute) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> previous =
        saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";

    setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
    EXPECT_EQ(XdgAutostartLoginItemService::defaultAutostartFolder(), "/tmp/xdg-config/autostart");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    if (!home.empty()) {
        EXPECT_EQ(XdgAutostartLoginItemService::defaultAutostartFolder(),
                  home + "/.config/autostart");
    }
    unsetenv("XDG_CONFIG_HOME");
    if (!home.empty()) {
        EXPECT_EQ(XdgAutostartLoginItemService::defaultAutostartFolder(),
                  home + "/.config/autostart");
    }
    if (previous) {
        setenv("XDG_CONFIG_HOME", previous->c_str(), 1);
    }
}

TEST(LoginItemsSimulatedServiceTest, FollowsItsCallsAndScriptedFailures) {
    SimulatedLoginItemService service(LoginItemStatus::requiresApproval);
    service.registerItem();
    EXPECT_EQ(service.status(), LoginItemStatus::enabled);
    service.setUnregisterError(LoginItemError("d", 1, "no"));
    EXPECT_THROW(service.unregisterItem(), LoginItemError);
    EXPECT_EQ(service.status(), LoginItemStatus::enabled);
    using Call = SimulatedLoginItemService::Call;
    EXPECT_EQ(service.changeCalls(), (std::vector<Call>{Call::registerItem, Call::unregisterItem}));
    EXPECT_EQ(service.calls().size(), 4u);
}

} // namespace
} // namespace berthkeep
