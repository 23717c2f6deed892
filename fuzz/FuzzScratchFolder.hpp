#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace berthkeep {

// A private folder for the fuzz targets whose parser reads a file: made once per
// process, removed when the process ends normally.
class FuzzScratchFolder {
public:
    FuzzScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "berthkeep-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_path = pattern;
    }
    ~FuzzScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    FuzzScratchFolder(const FuzzScratchFolder&) = delete;
    FuzzScratchFolder& operator=(const FuzzScratchFolder&) = delete;

    const std::string& path() const { return m_path; }

    // Replaces the file (and makes its folder) with the input's bytes.
    static void write(const std::string& filePath, const std::uint8_t* data, std::size_t size) {
        std::filesystem::create_directories(std::filesystem::path(filePath).parent_path());
        std::ofstream file(filePath, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) {
            std::abort();
        }
    }

private:
    std::string m_path;
};

} // namespace berthkeep
