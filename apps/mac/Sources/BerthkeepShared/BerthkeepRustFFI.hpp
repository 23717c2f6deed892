#pragma once

#include <string>
#include <type_traits>

namespace berthkeep {

// The thin layer over the dynamic loader for the core library. Loader failures
// become the caller's own error, built by the mapping it passes in, so each bridge
// reports them in its own vocabulary. Stateless; callable from any thread.
//
// Whoever opens a library owns the handle and closes it with closeLibrary(); the
// program opens the same library from several places and each closes only its own.
class BerthkeepRustFFI {
public:
    using Handle = void*;

    // RTLD_NOW | RTLD_LOCAL: everything bound at load time, nothing exported to
    // libraries loaded later.
    static const int openMode;

    BerthkeepRustFFI() = delete;

    // Opens the library at the path. On failure throws mapDlopenError(message),
    // the message being the loader's text or "unknown dlopen error".
    template <typename MapDlopenError>
    static Handle openLibrary(const std::string& path, MapDlopenError&& mapDlopenError) {
        std::string message;
        Handle handle = openLibraryReportingError(path, message);
        if (handle == nullptr) {
            throw mapDlopenError(message);
        }
        return handle;
    }

    // Looks a C function up by name and returns it as Function (a function pointer
    // type). A missing symbol throws mapSymbolMissing(name); the handle stays open.
    template <typename Function, typename MapSymbolMissing>
    static Function resolveSymbol(const std::string& name, Handle handle,
                                  MapSymbolMissing&& mapSymbolMissing) {
        static_assert(std::is_pointer_v<Function> &&
                          std::is_function_v<std::remove_pointer_t<Function>>,
                      "resolveSymbol gives C function pointers only");
        static_assert(sizeof(Function) == sizeof(void*),
                      "a function pointer must be pointer-sized");
        void* address = symbolAddress(name, handle);
        if (address == nullptr) {
            throw mapSymbolMissing(name);
        }
        return reinterpret_cast<Function>(address);
    }

    // Null is ignored.
    static void closeLibrary(Handle handle) noexcept;

    // A string the library returned: copied, then handed back to the library's
    // free function at once. Null gives an empty string and frees nothing.
    using FreeStringFunction = void (*)(char*);
    static std::string takeLibraryString(char* text, FreeStringFunction freeString);

    // The non-template halves: null on failure, with the message filled in.
    static Handle openLibraryReportingError(const std::string& path, std::string& message);
    static void* symbolAddress(const std::string& name, Handle handle);
};

} // namespace berthkeep
