// The README's table of what a script can name is the application's: every screen class a screen
// trigger may name, with the outlets it holds views under, and the requests a request trigger may name.

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/job.h"
#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "tester/script.h"
#include "tests/testkit/scratch_folder.h"

namespace readme_screens {

namespace fs = std::filesystem;

// The README's section holding the table: from its heading to the next.
constexpr const char* kSection = "### What a script can name";

bool isPlatformClass(const rt::Class& c) {
    const std::string_view name = c.name();
    return name.starts_with("UI") || name.starts_with("MF");
}

// The view a property holds, by its declared class: `@"UILabel"` names one.
bool holdsAView(const rt::Property& property) {
    static const std::regex named("@\"([^\"]+)\"");
    std::smatch match;
    const std::string& type = property.typeEncoding();
    if (!std::regex_match(type, match, named)) return false;
    const rt::Class* held = rt::Class::named(match[1].str());
    return held && held->isSubclassOf(ui::View::staticClass());
}

// A screen's outlets: the views its own classes hold, up to the test screens' base (whose row names
// those every test screen shares) or the platform's classes (whose properties a script does not name).
std::vector<std::string> outletsOf(const rt::Class& screen) {
    const rt::Class* base = rt::Class::named("BaseModelViewController");
    std::vector<std::string> outlets;
    for (const rt::Class* c = &screen; c && !isPlatformClass(*c) && (c == &screen || c != base); c = c->superclass())
        for (const rt::Property* property : c->ownProperties())
            if (holdsAView(*property)) outlets.push_back(property->name());
    return outlets;
}

std::string rowOf(const std::string& screen, const std::vector<std::string>& outlets) {
    std::string cell;
    for (const std::string& outlet : outlets)
        cell += (cell.empty() ? "`" : ", `") + outlet + "`";
    return "| `" + screen + "` | " + (cell.empty() ? "none" : cell) + " |";
}

TEST(Readme, ItsTableOfScreensOutletsAndRequestsIsWhatTheApplicationHas) {
    const sim::TriggerNames names = app::applicationTriggerNames(FT_RESOURCES_DIR);
    std::string expected;
    for (const std::string& screen : names.screens)
        if (!screen.starts_with("AppTest")) // this test program's own screens
            expected += rowOf(screen, outletsOf(*rt::Class::named(screen))) + "\n";
    std::string requests;
    for (const std::string& request : names.requests)
        requests += (requests.empty() ? "`" : ", `") + request + "`";

    const std::string readme = testkit::readFile(fs::path(FT_RESOURCES_DIR).parent_path() / "README.md");
    const std::size_t from = readme.find(kSection);
    ASSERT_NE(from, std::string::npos) << kSection;
    const std::string section = readme.substr(from, readme.find("\n#", from + 1) - from);
    std::string table;
    static const std::regex row("\\| `[A-Za-z]+` \\|[^\n]*\n");
    for (auto match = std::sregex_iterator(section.begin(), section.end(), row); match != std::sregex_iterator();
         ++match)
        table += match->str();
    EXPECT_EQ(table, expected) << "the rows the README should hold:\n" << expected;
    std::string words = section; // its lines as one
    std::replace(words.begin(), words.end(), '\n', ' ');
    EXPECT_NE(words.find("request trigger names one of " + requests + "."), std::string::npos)
        << "the requests: " << requests;
}

} // namespace readme_screens
