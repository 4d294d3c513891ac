#include "tests/testkit/app/snapshot.h"

#include <cstdio>
#include <filesystem>

#include "platform/foundation/error.h"
#include "platform/uikit/view_rendering.h"

namespace testkit {

std::string snapshot(ui::View& view, const std::string& name) {
    const std::filesystem::path folder = FT_ARTEFACTS_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path = (folder / (name + ".png")).string();
    if (rt::Ref<ns::Error> error = ui::writeSnapshot(view, path)) {
        std::printf("[ snapshot ] %s: %s\n", name.c_str(), error->description().c_str());
        return {};
    }
    std::printf("[ snapshot ] %s\n", path.c_str());
    return path;
}

} // namespace testkit
