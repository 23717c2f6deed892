#include "platform/System/OperatingSystemVersion.hpp"

#include <gtest/gtest.h>

#include "platform/System/DisplayPlatformChoice.hpp"

namespace berthkeep {
namespace {

TEST(OperatingSystemVersion, ReadsOsReleaseAndKernel) {
    struct Case {
        const char* name;
        const char* osRelease;
        const char* kernel;
        const char* expectedText;
        int expectedMajor;
    };
    const Case cases[] = {
        {"debian",
         "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
         "VERSION_ID=\"12\"\n",
         "6.1.0-18-amd64", "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64", 12},
        {"name and version without a pretty name", "NAME=Fedora\nVERSION_ID=40\n", "6.8.5",
         "Fedora 40, Linux 6.8.5", 40},
        {"single quotes, escapes, comments, blanks and a point release",
         "# comment\n\n  PRETTY_NAME='Distro \"X\"'  \nVERSION_ID=\"22.04\"\n", "", "Distro \"X\"",
         22},
        {"double-quoted escapes", "PRETTY_NAME=\"A \\\"quoted\\\" \\\\ name\"\n", "5.10",
         "A \"quoted\" \\ name, Linux 5.10", 5},
        {"unbalanced quote and key-less lines are skipped",
         "PRETTY_NAME=\"broken\n=value\nVERSION_ID=rolling\n", "6.9.1-arch1", "Linux 6.9.1-arch1",
         6},
        {"nothing known", "", "", "unknown", 0},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto version = OperatingSystemVersion::parse(testCase.osRelease, testCase.kernel);
        EXPECT_EQ(version.versionString(), testCase.expectedText);
        EXPECT_EQ(version.majorVersion(), testCase.expectedMajor);
    }
}

TEST(OperatingSystemVersion, CurrentSystemHasAKernelRelease) {
    EXPECT_FALSE(OperatingSystemVersion::current().kernelRelease.empty());
}

TEST(DisplayPlatformChoice, OffscreenOnlyWithoutAnyDisplayOrChosenPlatform) {
    using Environment = std::map<std::string, std::string>;
    const std::pair<Environment, bool> cases[] = {
        {{}, true},
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}}, true},
        {{{"DISPLAY", ":0"}}, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, false},
        {{{"QT_QPA_PLATFORM", "xcb"}}, false},
    };
    for (const auto& [environment, forced] : cases) {
        const auto platform = DisplayPlatformChoice::forcedPlatform(environment);
        EXPECT_EQ(platform.has_value(), forced) << environment.size();
        if (platform) {
            EXPECT_EQ(*platform, "offscreen");
        }
    }
}

} // namespace
} // namespace berthkeep
