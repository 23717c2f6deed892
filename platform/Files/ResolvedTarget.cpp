#include "platform/Files/ResolvedTarget.hpp"

#include <filesystem>
#include <system_error>

namespace berthkeep {

std::string resolvedTarget(const std::string& path) {
    std::filesystem::path target(path);
    // As many hops as the kernel follows; a longer chain is left as it is and
    // fails where it is used.
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error)) || error) {
            break;
        }
        const auto next = std::filesystem::read_symlink(target, error);
        if (error) {
            break;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.lexically_normal().string();
}

} // namespace berthkeep
