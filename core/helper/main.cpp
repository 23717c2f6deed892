// berthkeep-core-bridge <operation>: one request JSON on standard input, one response
// JSON on standard output. Runs the same entry points the library exports.

#include "berthkeep_core.h"

#include "Berthkeep/Domain/UTF8Text.hpp"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage = "usage: berthkeep-core-bridge "
                               "<evaluate-state|plan-action|summarize-action|process-telemetry>";

using Entry = char* (*)(const char*);

Entry entryFor(std::string_view operation) {
    if (operation == "evaluate-state") {
        return &berthkeep_core_evaluate_state_json;
    }
    if (operation == "plan-action") {
        return &berthkeep_core_plan_action_json;
    }
    if (operation == "summarize-action") {
        return &berthkeep_core_summarize_action_json;
    }
    if (operation == "process-telemetry") {
        return &berthkeep_core_process_telemetry_json;
    }
    return nullptr;
}

bool readAll(std::FILE* stream, std::string& into) {
    char buffer[65536];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, stream);
        into.append(buffer, count);
        if (count < sizeof buffer) {
            return std::ferror(stream) == 0;
        }
    }
}

// The message may quote the command line or the request: its bytes go out as UTF-8.
int failWith(const std::string& message, int status) {
    std::fprintf(stderr, "%s\n", berthkeep::replacingInvalidUTF8(message).c_str());
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return failWith(argc < 2 ? std::string("missing operation; ") + kUsage
                                 : std::string("too many arguments; ") + kUsage,
                        kExitUsage);
    }
    const std::string_view operation = argv[1];
    const Entry entry = entryFor(operation);
    if (!entry) {
        return failWith("unknown operation \"" + std::string(operation) + "\"; " + kUsage,
                        kExitUsage);
    }

    std::string request;
    if (!readAll(stdin, request)) {
        return failWith("cannot read the request from standard input", kExitFailure);
    }
    // A NUL byte would cut the request short without anyone noticing.
    if (request.find('\0') != std::string::npos) {
        return failWith(std::string(operation) + " failed: the request contains a NUL byte",
                        kExitFailure);
    }

    char* response = entry(request.c_str());
    if (!response) {
        char* error = berthkeep_core_last_error_message();
        const std::string message = error ? error : std::string(operation) + " failed";
        berthkeep_core_free_string(error);
        return failWith(message, kExitFailure);
    }
    const std::size_t length = std::strlen(response);
    const bool written = std::fwrite(response, 1, length, stdout) == length &&
                         std::fputc('\n', stdout) != EOF && std::fflush(stdout) == 0;
    berthkeep_core_free_string(response);
    if (!written) {
        return failWith("cannot write the response to standard output", kExitFailure);
    }
    return 0;
}
