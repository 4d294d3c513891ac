#include "tools/reference_service/seed.h"

#include <utility>

namespace refsvc {

using nlohmann::json;

namespace {

// Reads the typed members of the seed's objects, naming the first thing that is wrong.
class Reader {
public:
    explicit Reader(std::string* error) : error_(error) {}

    bool text(const json& object, const char* key, std::string& out, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end() || !it->is_string()) return fail(where + " needs text \"" + key + "\"");
        out = it->get<std::string>();
        return true;
    }
    bool whole(const json& object, const char* key, std::int64_t& out, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end() || !it->is_number_integer())
            return fail(where + " needs a whole number \"" + key + "\"");
        out = it->get<std::int64_t>();
        return true;
    }
    bool list(const json& object, const char* key, const std::string& where) {
        auto it = object.find(key);
        if (it == object.end() || !it->is_array()) return fail(where + " needs a list \"" + key + "\"");
        return true;
    }
    bool fail(std::string message) {
        if (error_) *error_ = "seed: " + std::move(message);
        return false;
    }

private:
    std::string* error_;
};

bool readOperator(Reader& r, const json& entry, const std::string& where, Operator& op) {
    if (!entry.is_object()) return r.fail(where + " is not an object");
    return r.text(entry, "username", op.username, where) && r.text(entry, "password", op.password, where) &&
           r.whole(entry, "loginid", op.loginid, where) && r.whole(entry, "company", op.company, where) &&
           r.whole(entry, "site", op.site, where);
}

bool readFeatures(Reader& r, const json& entry, const std::string& where, FeatureSettings& settings) {
    if (!entry.is_object()) return r.fail(where + " is not an object");
    if (!r.whole(entry, "company", settings.company, where) ||
        !r.whole(entry, "site", settings.site, where) ||
        !r.text(entry, "productid", settings.productid, where) ||
        !r.text(entry, "solutionid", settings.solutionid, where) || !r.list(entry, "features", where))
        return false;
    for (const json& key : entry["features"]) {
        if (!key.is_string()) return r.fail(where + ": every feature is a text");
        settings.features.push_back(key.get<std::string>());
    }
    return true;
}

} // namespace

std::optional<Seed> Seed::parse(std::string_view text, std::string* error) {
    Reader r(error);
    json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        r.fail("not a JSON object");
        return std::nullopt;
    }
    Seed seed;
    if (!root.contains("client") || !root["client"].is_object() ||
        !r.text(root["client"], "id", seed.clientId, "\"client\"") || seed.clientId.empty()) {
        r.fail("\"client\" needs a non-empty text \"id\"");
        return std::nullopt;
    }
    if (!r.list(root, "operators", "the seed") || !r.list(root, "features", "the seed")) return std::nullopt;

    for (std::size_t i = 0; i < root["operators"].size(); ++i) {
        std::string where = "operator " + std::to_string(i);
        Operator op;
        if (!readOperator(r, root["operators"][i], where, op)) return std::nullopt;
        if (seed.findOperator(op.username)) {
            r.fail("operator \"" + op.username + "\" is listed twice");
            return std::nullopt;
        }
        seed.operators.push_back(std::move(op));
    }
    for (std::size_t i = 0; i < root["features"].size(); ++i) {
        std::string where = "feature settings " + std::to_string(i);
        FeatureSettings settings;
        if (!readFeatures(r, root["features"][i], where, settings)) return std::nullopt;
        if (seed.findFeatures(settings.company, settings.site)) {
            r.fail(where + " repeats company " + std::to_string(settings.company) + ", site " +
                   std::to_string(settings.site));
            return std::nullopt;
        }
        seed.features.push_back(std::move(settings));
    }
    if (!root.contains("models") || !root["models"].is_object()) {
        r.fail("\"models\" needs the model table object");
        return std::nullopt;
    }
    seed.models = root["models"];
    return seed;
}

const Operator* Seed::findOperator(std::string_view username) const {
    for (const Operator& op : operators)
        if (op.username == username) return &op;
    return nullptr;
}

const FeatureSettings* Seed::findFeatures(std::int64_t company, std::int64_t site) const {
    for (const FeatureSettings& settings : features)
        if (settings.company == company && settings.site == site) return &settings;
    return nullptr;
}

} // namespace refsvc
