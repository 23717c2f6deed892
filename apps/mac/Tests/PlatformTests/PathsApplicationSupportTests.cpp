#include <gtest/gtest.h>

#include <QDir>
#include <QtGlobal>

#include <cstdlib>

#include "platform/Paths/ApplicationSupport.hpp"

namespace berthkeep {
namespace {

class ApplicationSupportTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = qgetenv("XDG_DATA_HOME");
        m_hadValue = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    }
    void TearDown() override {
        if (m_hadValue) {
            qputenv("XDG_DATA_HOME", m_saved);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
    }

private:
    QByteArray m_saved;
    bool m_hadValue = false;
};

TEST_F(ApplicationSupportTest, FollowsXdgDataHome) {
    ::setenv("XDG_DATA_HOME", "/tmp/berthkeep-xdg-data", 1);
    EXPECT_EQ(ApplicationSupport::baseDirectory(), "/tmp/berthkeep-xdg-data");
    EXPECT_EQ(ApplicationSupport::directory("Berthkeep Test"),
              "/tmp/berthkeep-xdg-data/Berthkeep Test");
}

TEST_F(ApplicationSupportTest, DefaultsToLocalShareUnderHome) {
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ApplicationSupport::baseDirectory(),
              QDir::homePath().toStdString() + "/.local/share");
    EXPECT_EQ(ApplicationSupport::directory("Berthkeep"),
              QDir::homePath().toStdString() + "/.local/share/Berthkeep");
}

} // namespace
} // namespace berthkeep
