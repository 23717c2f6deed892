#pragma once

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace berthkeep::test {

// The whole content of a file; empty when it cannot be read.
inline std::string fileText(const std::string& path) {
    std::ifstream stream(path);
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

// What the regular files whose names begin with the last part of `first`
// (beside it) hold: a set-aside and the earlier ones, `first`.1 and on.
inline std::multiset<std::string> setAsideContents(const std::string& first) {
    std::multiset<std::string> contents;
    const std::filesystem::path base(first);
    for (const auto& entry : std::filesystem::directory_iterator(base.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind(base.filename().string(), 0) == 0) {
            contents.insert(fileText(entry.path().string()));
        }
    }
    return contents;
}

} // namespace berthkeep::test
