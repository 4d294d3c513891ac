#pragma once
// The service clients' fixture: the application fixture (home, defaults, bundle, manual clock),
// a scripted loopback server, the reference service on demand, and fresh shared clients.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/foundation/json.h"
#include "service/http_client.h"
#include "service/trovelin_http_client.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/reference_service.h"
#include "tools/reference_service/service.h"

namespace service_test {

class ClientTest : public testkit::AppTest {
protected:
    void TearDown() override {
        reference_.reset();
        ft::HttpClient::resetSharedHttpClientForTesting();
        ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
        ns::Bundle::removeInfoValueOverride(ft::HttpClient::kProfileServerInfoKey);
        AppTest::TearDown();
    }

    // Starts the reference service in the scratch folder (faults in --fault form) and points the
    // profile server at it.
    refsvc::Service& startReference(const std::vector<std::string>& faults = {}) {
        reference_ = testkit::startReferenceService(app().scratchFolder() + "/service", faults);
        ns::Bundle::setInfoValueOverride(ft::HttpClient::kProfileServerInfoKey, reference_->baseUrl());
        return *reference_;
    }
    refsvc::Service& reference() { return *reference_; }

    static rt::Id parse(std::string_view json) { return ns::JSONSerialization::JSONObjectWithData(json); }
    static std::string json(const rt::Id& object) {
        return ns::JSONSerialization::stringWithJSONObject(object, ns::JSONWritingOptions::SortedKeys).value_or("?");
    }

    testkit::LoopbackServer server;

private:
    std::unique_ptr<refsvc::Service> reference_;
};

} // namespace service_test
