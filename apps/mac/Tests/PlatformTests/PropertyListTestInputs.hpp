#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace berthkeep::PropertyListTestInputs {

inline std::string xml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + body + "</plist>";
}

// `depth` containers, each opened by `opening` inside the one before.
inline std::string nested(int depth, const std::string& opening = "<array>",
                          const std::string& closing = "</array>") {
    std::string body;
    for (int level = 0; level < 2 * depth; ++level) {
        body += level < depth ? opening : closing;
    }
    return xml(body);
}

// About a hundred bytes in which every array holds the next one twice: the tree
// they stand for has 2^levels leaves. levels < 80.
inline std::string sharedSubtreeBinaryPropertyList(int levels) {
    std::string bytes = "bplist00";
    std::vector<std::size_t> offsets;
    for (int index = 0; index <= levels; ++index) {
        offsets.push_back(bytes.size());
        const char next = static_cast<char>(index + 1);
        // An array of two one-byte references, and `true` at the bottom.
        bytes += index < levels ? std::string{'\xA2', next, next} : std::string{'\x09'};
    }
    const std::size_t offsetTable = bytes.size();
    for (const auto offset : offsets) {
        bytes += static_cast<char>(offset);
    }
    // Trailer: six unused bytes, one-byte offsets and references, then the
    // object count, the top object and the table's offset, each 64-bit big-endian.
    bytes += std::string(6, '\0') + "\x01\x01";
    for (const std::uint64_t value :
         {std::uint64_t(offsets.size()), std::uint64_t(0), std::uint64_t(offsetTable)}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((value >> shift) & 0xFF);
        }
    }
    return bytes;
}

} // namespace berthkeep::PropertyListTestInputs
