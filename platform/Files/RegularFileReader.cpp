#include "platform/Files/RegularFileReader.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace berthkeep {

namespace {

using Result = RegularFileReader::Result;
using Status = RegularFileReader::Status;

Result failure(Status status, std::string problem) {
    Result result;
    result.status = status;
    result.problem = std::move(problem);
    return result;
}

Result systemFailure(int error) {
    if (error == ENOENT || error == ENOTDIR) {
        return failure(Status::missing, {});
    }
    return failure(Status::failed, std::error_code(error, std::generic_category()).message());
}

std::string describeSize(std::int64_t size) {
    constexpr std::int64_t mebibyte = 1024 * 1024;
    return size > 0 && size % mebibyte == 0 ? std::to_string(size / mebibyte) + " MiB"
                                            : std::to_string(size) + " bytes";
}

Result notRegular() {
    return failure(Status::notRegular, "not a regular file");
}

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

RegularFileReader::Result RegularFileReader::read(const std::string& path,
                                                  std::int64_t maximumSize) {
    // Looked at first, so a device is not even opened (opening some has
    // effects of its own); checked again on the open file, which may have
    // been swapped meanwhile.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return systemFailure(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return notRegular();
    }
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        return systemFailure(errno);
    }
    if (::fstat(file.get(), &status) != 0) {
        return systemFailure(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return notRegular();
    }
    // One byte past the bound at most, whatever size the file claims.
    const auto limit = static_cast<std::size_t>(maximumSize < 0 ? 0 : maximumSize) + 1;
    Result result;
    char buffer[65536];
    while (result.bytes.size() < limit) {
        const std::size_t wanted = std::min(sizeof buffer, limit - result.bytes.size());
        const ssize_t count = ::read(file.get(), buffer, wanted);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return systemFailure(errno);
        }
        if (count == 0) {
            break;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(count));
    }
    if (result.bytes.size() >= limit) {
        return failure(Status::tooLarge, "larger than " + describeSize(maximumSize));
    }
    result.status = Status::read;
    return result;
}

} // namespace berthkeep
