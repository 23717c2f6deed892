#pragma once

#include <functional>
#include <string>

namespace berthkeep::test {

// Stands between this test program and the C library's calls that give files
// their names (rename, renameat2, link), so that a test sees the path after
// every step a writer takes, as a kill at that moment would leave it, and can
// refuse a call as a file system or the kernel would. While none is alive,
// every call goes straight through. One at a time, on the test's thread.
class FileCallInterposer {
public:
    enum class Call {
        link,
        // rename(2): what replaces a file.
        rename,
        // renameat2 with RENAME_EXCHANGE.
        exchange,
    };

    FileCallInterposer();
    ~FileCallInterposer();
    FileCallInterposer(const FileCallInterposer&) = delete;
    FileCallInterposer& operator=(const FileCallInterposer&) = delete;

    // Every later `call` fails with `error` and changes nothing; with `onto`,
    // only those that would give a file that name.
    void refuse(Call call, int error, std::string onto = {});
    // Told after every such call that changed a name; its own calls go
    // straight through.
    void afterEachStep(std::function<void()> observer);
};

} // namespace berthkeep::test
