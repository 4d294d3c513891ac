// The README's table of what a script can name is the application's: every screen class a screen
// trigger may name, with the outlets it holds views under, and the requests a request trigger may name.

#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/job.h"
#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "tester/script.h"
#include "tests/testkit/scratch_folder.h"

namespace readme_screens {

// A screen's outlets: the properties of its own classes declared to hold a view (`@"UILabel"`), up
// to the test screens' base (whose row names those every test screen shares) or the platform's
// classes (whose properties a script does not name).
std::string outletsOf(const rt::Class& screen) {
    const rt::Class* base = rt::Class::named("BaseModelViewController");
    std::string outlets;
    for (const rt::Class* c = &screen; c && !c->name().starts_with("UI") && !c->name().starts_with("MF") &&
                                       (c == &screen || c != base);
         c = c->superclass())
        for (const rt::Property* property : c->ownProperties()) {
            const std::string& type = property->typeEncoding();
            const rt::Class* held = type.starts_with("@\"") ? rt::Class::named(type.substr(2, type.size() - 3)) : nullptr;
            if (held && held->isSubclassOf(ui::View::staticClass()))
                outlets += (outlets.empty() ? "`" : ", `") + property->name() + "`";
        }
    return outlets.empty() ? "none" : outlets;
}

TEST(Readme, ItsTableOfScreensOutletsAndRequestsIsWhatTheApplicationHas) {
    const sim::TriggerNames names = app::applicationTriggerNames(FT_RESOURCES_DIR);
    std::string expected, requests;
    for (const std::string& screen : names.screens)
        if (!screen.starts_with("AppTest")) // this test program's own screens
            expected += "| `" + screen + "` | " + outletsOf(*rt::Class::named(screen)) + " |\n";
    for (const std::string& request : names.requests)
        requests += (requests.empty() ? "`" : ", `") + request + "`";

    std::string readme = testkit::readFile(std::filesystem::path(FT_RESOURCES_DIR).parent_path() / "README.md");
    const std::size_t from = readme.find("### What a script can name");
    ASSERT_NE(from, std::string::npos);
    readme = readme.substr(from, readme.find("\n#", from + 1) - from);
    const std::size_t rows = readme.find("\n| `") + 1;
    EXPECT_EQ(readme.substr(rows, readme.find("\n\n", rows) + 1 - rows), expected)
        << "the rows the README should hold:\n" << expected;
    std::replace(readme.begin(), readme.end(), '\n', ' ');
    EXPECT_NE(readme.find("request trigger names one of " + requests + "."), std::string::npos) << requests;
}

} // namespace readme_screens
