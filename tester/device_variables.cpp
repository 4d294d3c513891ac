#include "tester/device_variables.h"

#include "platform/sim/device.h"
#include "platform/sim/interfaces.h"
#include "platform/sim/profile.h"

namespace sim {

namespace {

// Each variable's name and how the installed device gives its value.
struct Variable {
    const char* name;
    std::string (*value)(const Profile& device);
};
constexpr Variable kVariables[] = {
    {"wifi.address", [](const Profile&) { return ipv4Address("en0").value_or(""); }},
    {"carrier.name", [](const Profile& device) { return device.carrier ? device.carrier->name : std::string(); }},
};

} // namespace

std::map<std::string, std::string> deviceVariables() {
    const std::shared_ptr<const Profile> device = currentDevice();
    std::map<std::string, std::string> values;
    for (const Variable& variable : kVariables)
        values[variable.name] = variable.value(*device);
    return values;
}

std::map<std::string, std::string> deviceVariablePlaceholders() {
    std::map<std::string, std::string> names;
    for (const Variable& variable : kVariables)
        names[variable.name] = "{" + std::string(variable.name) + "}";
    return names;
}

} // namespace sim
