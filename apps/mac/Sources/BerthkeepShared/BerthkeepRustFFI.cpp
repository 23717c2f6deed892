#include "BerthkeepShared/BerthkeepRustFFI.hpp"

#include <dlfcn.h>

namespace berthkeep {

const int BerthkeepRustFFI::openMode = RTLD_NOW | RTLD_LOCAL;

BerthkeepRustFFI::Handle BerthkeepRustFFI::openLibraryReportingError(const std::string& path,
                                                                     std::string& message) {
    // The loader's error is per thread; clear what an earlier call left behind.
    ::dlerror();
    Handle handle = ::dlopen(path.c_str(), openMode);
    if (handle != nullptr) {
        return handle;
    }
    const char* text = ::dlerror();
    message = (text != nullptr && *text != '\0') ? std::string(text) : "unknown dlopen error";
    return nullptr;
}

void* BerthkeepRustFFI::symbolAddress(const std::string& name, Handle handle) {
    if (handle == nullptr) {
        return nullptr;
    }
    ::dlerror();
    return ::dlsym(handle, name.c_str());
}

void BerthkeepRustFFI::closeLibrary(Handle handle) noexcept {
    if (handle != nullptr) {
        ::dlclose(handle);
    }
}

std::string BerthkeepRustFFI::takeLibraryString(char* text, FreeStringFunction freeString) {
    if (text == nullptr) {
        return {};
    }
    std::string copy(text);
    if (freeString != nullptr) {
        freeString(text);
    }
    return copy;
}

} // namespace berthkeep
