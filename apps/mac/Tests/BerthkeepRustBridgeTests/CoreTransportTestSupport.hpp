#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <sys/stat.h>

#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep::testing {

// For a helper call that should answer: past what a loaded machine takes to
// start an instrumented helper, so only a helper that really hangs reaches it.
inline constexpr std::chrono::milliseconds helperAnswerTimeout{30000};

// A temporary folder for helper scripts, removed with the object.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "berthkeep-core-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return m_path; }

    // A /bin/sh script with the given body, executable unless told otherwise.
    std::string script(const std::string& name, const std::string& body,
                       bool executable = true) const {
        const std::string file = m_path + "/" + name;
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        ::chmod(file.c_str(), executable ? 0755 : 0644);
        return file;
    }

private:
    std::string m_path;
};

// Replaces the main bundle for one test with a bundle that holds nothing, so that
// only the environment paths can be found.
class EmptyMainBundle {
public:
    EmptyMainBundle()
        : m_previous(AppBundle::main()) {
        PropertyListValue::Dictionary info;
        info["CFBundleIdentifier"] = PropertyListValue(std::string(kTestBundleIdentifier));
        AppBundle::setMain(std::make_shared<InMemoryAppBundle>(
            info, "/nonexistent/Berthkeep.app",
            "/nonexistent/Berthkeep.app/Contents/MacOS/Berthkeep"));
    }
    ~EmptyMainBundle() { AppBundle::setMain(m_previous); }
    EmptyMainBundle(const EmptyMainBundle&) = delete;
    EmptyMainBundle& operator=(const EmptyMainBundle&) = delete;

private:
    std::shared_ptr<const AppBundle> m_previous;
};

// Sets (or, with nothing, removes) one environment variable for one test.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value)
        : m_name(std::move(name)) {
        if (const char* previous = std::getenv(m_name.c_str())) {
            m_previous = previous;
        }
        apply(value);
    }
    ~ScopedEnvironmentVariable() { apply(m_previous); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    void apply(const std::optional<std::string>& value) const {
        if (value) {
            ::setenv(m_name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace berthkeep::testing
