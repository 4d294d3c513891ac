#include "platform/sim/device_path.h"

#include <filesystem>
#include <vector>

#include "platform/foundation/application_home.h"
#include "platform/sim/device.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

// The parts of `path` after "/", in order; pushes onto `parts` reversed, so the next part is last.
void pushParts(std::string_view path, std::vector<std::string>& pending) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) parts.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    pending.insert(pending.end(), parts.rbegin(), parts.rend());
}

// "/a/./b/../c" -> "/a/c"; ".." at the top stays at the top.
std::string lexicallyNormal(std::string_view path) {
    std::vector<std::string> pending, kept;
    pushParts(path, pending);
    for (; !pending.empty(); pending.pop_back()) {
        const std::string& part = pending.back();
        if (part == ".") continue;
        if (part == "..") {
            if (!kept.empty()) kept.pop_back();
        } else {
            kept.push_back(part);
        }
    }
    std::string out;
    for (const std::string& part : kept)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

bool isInside(const std::string& path, const std::string& folder) {
    return path == folder || (path.starts_with(folder) && (folder.ends_with('/') || path[folder.size()] == '/'));
}

constexpr int kMaxLinks = 40; // as the host's own resolution allows

} // namespace

std::optional<std::string> devicePath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    const std::string normal = lexicallyNormal(path);
    const std::string home = ns::ApplicationHome::path();
    if (!home.empty() && isInside(normal, lexicallyNormal(home))) return normal;

    const std::string configured = currentDevice()->deviceRoot;
    if (configured.empty()) return std::nullopt;
    std::error_code ec;
    const fs::path root = fs::canonical(configured, ec);
    if (ec) return std::nullopt;

    // Walk the parts under the root, following links inside it.
    std::vector<std::string> pending, kept;
    pushParts(path, pending);
    int links = 0;
    while (!pending.empty()) {
        std::string part = std::move(pending.back());
        pending.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        fs::path here = root;
        for (const std::string& k : kept)
            here /= k;
        here /= part;
        if (!fs::is_symlink(here, ec)) {
            kept.push_back(std::move(part));
            continue;
        }
        if (++links > kMaxLinks) return std::nullopt;
        const std::string target = fs::read_symlink(here, ec).string();
        if (ec || target.empty()) return std::nullopt;
        if (target.front() == '/') kept.clear();
        pushParts(target, pending);
    }
    fs::path out = root;
    for (const std::string& k : kept)
        out /= k;
    return out.string();
}

} // namespace sim
