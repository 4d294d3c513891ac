#pragma once
// Starting the reference service (tools/reference_service) for a test: faults in the form its
// --fault takes, a seed's text or the built-in one. Header only: the test programs that use it
// link the service's library themselves.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/reference_service/service.h"

namespace testkit {

// The service on a free loopback port over `dataFolder`; null, with a test failure, when a fault
// does not read or the service cannot start.
inline std::unique_ptr<refsvc::Service> startReferenceService(const std::filesystem::path& dataFolder,
                                                              const std::vector<std::string>& faults = {},
                                                              std::optional<std::string> seed = std::nullopt) {
    refsvc::Options options;
    options.dataFolder = dataFolder;
    options.seedJson = std::move(seed);
    for (const std::string& text : faults) {
        std::string error;
        auto fault = refsvc::Fault::parse(text, &error);
        if (!fault) {
            ADD_FAILURE() << "--fault " << text << ": " << error;
            return nullptr;
        }
        options.faults.push_back(*fault);
    }
    std::string error;
    auto service = refsvc::Service::start(options, &error);
    if (!service) ADD_FAILURE() << "the reference service did not start: " << error;
    return service;
}

} // namespace testkit
