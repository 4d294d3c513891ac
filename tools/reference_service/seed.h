#pragma once
// The reference service's fixed data: the client record, the operators, the feature settings per
// company and site, and the model table. The form, checked on load:
//   {
//     "client":    { "id": "<the client record id the application is built with>" },
//     "operators": [ { "username": "op1", "password": "pw1", "loginid": 7, "company": 3, "site": 12 }, ... ],
//     "features":  [ { "company": 3, "site": 12, "productid": "P1", "solutionid": "S1",
//                      "features": ["WIFI", ...] }, ... ],
//     "models":    { "iOS": { ... }, "WifiOnly": { ... } }   (served as it is)
//   }
// seed.json beside this file is built into the library and is the default.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace refsvc {

struct Operator {
    std::string username, password;
    std::int64_t loginid = 0, company = 0, site = 0;
};

struct FeatureSettings {
    std::int64_t company = 0, site = 0;
    std::string productid, solutionid;
    std::vector<std::string> features;
};

struct Seed {
    std::string clientId;
    std::vector<Operator> operators;
    std::vector<FeatureSettings> features;
    nlohmann::json models;

    // Reads and checks a seed's JSON text; answers nothing, with `error` set, on a bad seed.
    static std::optional<Seed> parse(std::string_view text, std::string* error = nullptr);
    // The seed built into the library (tools/reference_service/seed.json).
    static std::string_view builtInText();

    const Operator* findOperator(std::string_view username) const;
    const FeatureSettings* findFeatures(std::int64_t company, std::int64_t site) const;
};

} // namespace refsvc
