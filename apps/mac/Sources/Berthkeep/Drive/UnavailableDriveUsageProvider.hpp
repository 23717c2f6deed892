#pragma once

#include <exception>
#include <stdexcept>
#include <utility>

#include "Berthkeep/Drive/DriveUsageProviding.hpp"

namespace berthkeep {

// The usage source that stands in when the real one cannot be had: every call
// rethrows the error it was built with, unchanged.
class UnavailableDriveUsageProvider final : public DriveUsageProviding {
public:
    explicit UnavailableDriveUsageProvider(std::exception_ptr error)
        : m_error(error ? std::move(error)
                        : std::make_exception_ptr(std::logic_error("usage source unavailable"))) {}

    void updateManagedVolumes(const std::vector<DetectedDrive>&, ActivityDetectionMode) override {
        std::rethrow_exception(m_error);
    }
    std::map<std::string, DriveUsageSnapshot> usageSnapshotsByDriveID() override {
        std::rethrow_exception(m_error);
    }

    const std::exception_ptr& error() const { return m_error; }

private:
    std::exception_ptr m_error;
};

} // namespace berthkeep
