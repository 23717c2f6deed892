#include "BerthkeepTelemetry/BerthkeepTelemetryQueueStore.hpp"

#include <filesystem>
#include <system_error>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryCoding.hpp"
#include "platform/Files/RegularFileReader.hpp"
#include "platform/Paths/ApplicationSupport.hpp"

namespace berthkeep {

namespace {

using Kind = BerthkeepTelemetryQueueStoreError::Kind;

std::string rootFolder(const std::optional<std::string>& baseURL) {
    if (baseURL) {
        return *baseURL;
    }
    if (auto base = ApplicationSupport::baseDirectory()) {
        return *base;
    }
    std::error_code error;
    const auto temporary = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : temporary.string();
}

} // namespace

FileBerthkeepTelemetryQueueStore::FileBerthkeepTelemetryQueueStore(
    const std::optional<std::string>& bundleIdentifier, const std::optional<std::string>& baseURL)
    : m_directoryURL((std::filesystem::path(rootFolder(baseURL)) /
                      BerthkeepRuntimeIdentity::applicationSupportDirectoryName(bundleIdentifier))
                         .string())
    , m_writer(fileURL()) {}

std::string FileBerthkeepTelemetryQueueStore::fileURL() const {
    return (std::filesystem::path(m_directoryURL) / fileName).string();
}

BerthkeepTelemetryQueue FileBerthkeepTelemetryQueueStore::load() const {
    const auto path = fileURL();
    std::call_once(m_temporariesChecked,
                   [&path] { AtomicFileWriter::removeStaleTemporaries(path); });
    std::string bytes;
    // Newer than the file: the queue of a save that failed.
    if (const auto pending = m_writer.pendingBytes()) {
        bytes = *pending;
    } else {
        auto file = RegularFileReader::read(path, maximumFileSize);
        switch (file.status) {
        case RegularFileReader::Status::read:
            bytes = std::move(file.bytes);
            break;
        case RegularFileReader::Status::missing:
            return BerthkeepTelemetryQueue::empty;
        case RegularFileReader::Status::failed:
            throw BerthkeepTelemetryQueueStoreError(Kind::readFailed,
                                                    "cannot read " + path + ": " + file.problem);
        case RegularFileReader::Status::notRegular:
        case RegularFileReader::Status::tooLarge:
            // Never a queue, however often it is read again.
            throw BerthkeepTelemetryQueueStoreError(Kind::undecodable,
                                                    "cannot decode " + path + ": " + file.problem);
        }
    }
    try {
        return BerthkeepTelemetryCoding::decodeQueue(BerthkeepTelemetryCoding::parse(bytes));
    } catch (const BerthkeepTelemetryDecodingError& decodingError) {
        throw BerthkeepTelemetryQueueStoreError(Kind::undecodable, "cannot decode " + path + ": " +
                                                                       decodingError.what());
    }
}

void FileBerthkeepTelemetryQueueStore::save(const BerthkeepTelemetryQueue& queue) const {
    std::error_code error;
    std::filesystem::create_directories(m_directoryURL, error);
    if (error) {
        throw BerthkeepTelemetryQueueStoreError(
            Kind::writeFailed, "cannot create " + m_directoryURL + ": " + error.message());
    }
    // nlohmann's objects keep their keys sorted.
    const auto text = BerthkeepTelemetryCoding::dumpPretty(BerthkeepTelemetryCoding::encode(queue));
    const auto outcome = m_writer.write(text);
    if (!outcome.succeeded()) {
        throw BerthkeepTelemetryQueueStoreError(Kind::writeFailed, *outcome.failure,
                                                outcome.repeated);
    }
}

void FileBerthkeepTelemetryQueueStore::setAsideUndecodableQueue(
    AtomicFileWriter::SetAsideReport moved) const {
    m_writer.setAsideBeforeNextWrite(setAsideSuffix, std::move(moved));
}

} // namespace berthkeep
