#pragma once

#include <fstream>
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

} // namespace berthkeep::test
