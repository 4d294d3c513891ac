#include "streams/property_attributes.h"

#include <cctype>
#include <new>

#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/type_encoding.h"

namespace es {

namespace {

// One log line: the message, then `in attribute string "<attributes>" for property <name>`.
void report(std::string_view message, std::string_view attributes, std::string_view name) {
    std::string line(message);
    line += " in attribute string \"";
    line += attributes;
    line += "\" for property ";
    line += name;
    ns::logLine(line);
}

// The position of `c` at or after `from`, or the end of the text.
std::size_t findFrom(std::string_view text, char c, std::size_t from) {
    if (from >= text.size()) return text.size();
    std::size_t at = text.find(c, from);
    return at == std::string_view::npos ? text.size() : at;
}

} // namespace

std::unique_ptr<PropertyAttributes> propertyAttributesFromString(std::string_view attributes,
                                                                 std::string_view name) {
    if (attributes.empty()) {
        ns::logLine("ERROR: Could not get attribute string from property " + std::string(name));
        return nullptr;
    }
    if (attributes.front() != 'T') {
        ns::logLine("ERROR: Expected attribute string \"" + std::string(attributes) + "\" for property " +
                    std::string(name) + " to start with 'T'");
        return nullptr;
    }
    const std::string_view typeText = attributes.substr(1);
    const std::optional<rt::TypeLayout> layout = rt::sizeAndAlignment(typeText);
    if (!layout || layout->length > typeText.size()) {
        report("ERROR: Could not read past type", attributes, name);
        return nullptr;
    }
    if (layout->length == 0) {
        report("ERROR: Invalid type", attributes, name);
        return nullptr;
    }

    std::unique_ptr<PropertyAttributes> result(new (std::nothrow) PropertyAttributes);
    if (!result) {
        report("ERROR: Could not allocate es_propertyAttributes structure for", attributes, name);
        return nullptr;
    }
    const std::string_view type = typeText.substr(0, layout->length);
    result->type = type;

    // Positions are into `attributes`; the type starts at 1.
    std::size_t at = 1 + type.size();
    if (type.size() >= 2 && type[0] == '@' && type[1] == '"') {
        const std::size_t nameStart = 3; // after T@"
        const std::size_t nameEnd = attributes.find('"', nameStart);
        if (nameEnd == std::string_view::npos) {
            report("ERROR: Could not read class name", attributes, name);
            return nullptr;
        }
        if (nameEnd > nameStart) result->objectClass = rt::Class::named(attributes.substr(nameStart, nameEnd - nameStart));
    }

    // Anything between the type and the first flag is skipped.
    at = findFrom(attributes, ',', at);
    while (at < attributes.size() && attributes[at] == ',') {
        if (at + 1 >= attributes.size()) { // an empty flag ends the flags
            at = attributes.size();
            break;
        }
        const char flag = attributes[at + 1];
        at += 2;
        switch (flag) {
        case 'R':
            result->readonly = true;
            break;
        case 'C':
            result->memoryPolicy = PropertyAttributes::MemoryPolicy::Copy;
            break;
        case '&':
            result->memoryPolicy = PropertyAttributes::MemoryPolicy::Retain;
            break;
        case 'N':
            result->nonatomic = true;
            break;
        case 'G':
        case 'S': {
            const std::size_t end = findFrom(attributes, ',', at);
            if (end == at) {
                report("ERROR: Found zero length selector name", attributes, name);
                return nullptr;
            }
            rt::Sel selector(attributes.substr(at, end - at));
            (flag == 'G' ? result->getter : result->setter) = selector;
            at = end;
            break;
        }
        case 'D':
            result->dynamic = true;
            result->ivar = {};
            break;
        case 'V':
            // The rest of the string names the instance variable.
            if (at < attributes.size()) result->ivar = attributes.substr(at);
            at = attributes.size();
            break;
        case 'W':
            result->weak = true;
            break;
        case 'P':
            result->canBeCollected = true;
            break;
        case 't':
            report("ERROR: Old-style type encoding is unsupported", attributes, name);
            at = findFrom(attributes, ',', at);
            break;
        default:
            report(std::string("ERROR: Unrecognized attribute string flag '") + flag + "'", attributes, name);
            break;
        }
    }
    if (at < attributes.size()) {
        ns::logLine("Warning: Unparsed data \"" + std::string(attributes.substr(at)) + "\" in attribute string \"" +
                    std::string(attributes) + "\" for property " + std::string(name));
    }

    if (!result->getter) result->getter = rt::Sel(name);
    if (!result->setter) {
        std::string setter = "set";
        setter += name;
        if (setter.size() > 3) setter[3] = static_cast<char>(std::toupper(static_cast<unsigned char>(setter[3])));
        setter += ':';
        result->setter = rt::Sel(setter);
    }
    return result;
}

std::unique_ptr<PropertyAttributes> propertyAttributesForProperty(const rt::Property* property) {
    if (!property) {
        ns::logLine("ERROR: Could not get attribute string from property (null)");
        return nullptr;
    }
    return propertyAttributesFromString(property->attributes(), property->name());
}

} // namespace es
