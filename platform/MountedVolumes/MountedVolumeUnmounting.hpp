#pragma once

#include <QUrl>

#include <exception>
#include <functional>
#include <stdexcept>

namespace berthkeep {

// Why the file manager could not unmount a volume; the text is its reason.
class VolumeUnmountError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file manager's unmount of one mounted volume, without any user interface
// and without ejecting the rest of its disk. It works by mount location, so it
// reaches volumes that have no BSD name (file server shares).
class MountedVolumeUnmounting {
public:
    using Completion = std::function<void(std::exception_ptr error)>;

    virtual ~MountedVolumeUnmounting() = default;

    // Returns at once; the completion runs exactly once, on a thread of the
    // layer's choosing, with a null error on success and a VolumeUnmountError
    // otherwise.
    virtual void unmountVolume(const QUrl& volumeURL, Completion completion) = 0;
};

} // namespace berthkeep
