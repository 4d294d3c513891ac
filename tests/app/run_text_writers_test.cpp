// The writers of the run's texts take only what the masker wrote, and mask as they write: a text put
// together earlier is masked with every secret the run knows when it is written.
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

#include <gtest/gtest.h>

#include "app/exchanges.h"
#include "app/run_folder.h"
#include "app/run_report.h"
#include "platform/sim/run_text.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// No writer of the run's text files takes a text the masker did not write: a plain string, a view
// or a literal does not compile, and nothing but the masker makes a MaskedText.
template <typename Text>
concept WritableAsRunFile = requires(app::RunFolder& folder, Text text) { folder.writeText("f", text); };
template <typename Text>
concept AppendableToRunLog = requires(app::RunFolder::TextStream& log, Text text) { log.append(text); };
template <typename Text>
concept RunText = WritableAsRunFile<Text> || AppendableToRunLog<Text>;
static_assert(!RunText<std::string> && !RunText<std::string_view> && !RunText<const char*>);
static_assert(WritableAsRunFile<sim::MaskedText> && AppendableToRunLog<sim::MaskedText>);
static_assert(!std::is_constructible_v<sim::MaskedText, std::string> &&
              !std::is_constructible_v<sim::MaskedText, std::string_view> &&
              !std::is_convertible_v<std::string, sim::MaskedText>);
static_assert(std::is_same_v<decltype(std::declval<app::ExchangeRecord&>().logText()), sim::MaskedText>);

// Each line is put together (texts from outside marked, the run's own words around them) before
// the run learns its secrets, then written through the run folder: the file holds it masked as the
// run knew them when it was written, the run's own words as they are.
TEST(RunTextWriters, ALineComposedBeforeASecretIsLearnedIsMaskedAsWritten) {
    testkit::ScratchFolder scratch;
    std::string why;
    std::unique_ptr<app::RunFolder> folder =
        app::makeRunFolder({(scratch.path() / "run").string(), "", false, {}, {}, {}}, &why);
    ASSERT_TRUE(folder) << why;
    const struct {
        std::string line; // as put together
        std::string written;
    } cases[] = {
        // A password learned later, quoted, in a name cut at the report's limit, and a text quoted
        // again (a refusal quoted by a message).
        {"step 2: type text=" + sim::printableCut("Zq7pw9") + " pass", "step 2: type text=*** pass"},
        {"name " + app::cutName(std::string(190, 'a') + "Zq7pw9tail-long"), "name " + std::string(190, 'a') + "***tail-lo..."},
        {"refused: " + sim::printableCut("no action is called \"" + sim::printableCut("type Zq7pw9") + "\""),
         "refused: no action is called \"type ***\""},
        // A password of one character, where a line quotes it whole; not in the run's own words.
        {"check \"" + sim::printableCut("x") + "\" on x-axis", "check \"***\" on x-axis"},
        // A password that is a word of the run: its own words stay.
        {"  2  pass  " + app::cutName("pass word"), "  2  pass  *** word"},
        // The identity learned later, in the run's own words too; a mark cannot be ended early from
        // inside a text from outside, nor made by one.
        {"saw 35 693803 564380 9", "saw ***********3809"},
        {sim::printableCut(std::string("a\x1F" "Zq7pw9\x1E" "9:b", 12)), "a\\x1F***\\x1E9:b"},
        {"tab " + sim::printableCut("35\t693803\t564380\t9"), "tab ***********3809"},
    };
    std::string composed;
    for (const auto& c : cases)
        composed += c.line + "\n";
    // Learned after every line was put together.
    sim::RunSecrets secrets;
    sim::addRunSecret(sim::Secret("Zq7pw9"), "***");
    sim::addRunSecret(sim::Secret("x"), "***");
    sim::addRunSecret(sim::Secret("pass"), "***");
    sim::addRunSecret(sim::Secret("356938035643809"), "***********3809", sim::SecretSpelling::Identifier);
    ASSERT_TRUE(folder->writeText("steps.log", sim::maskedLines(composed)));
    {
        app::RunFolder::TextStream log = folder->textStream("app.log");
        log.append(sim::maskedOutsideText("x").withLinesLedBy("1.000 "));
        log.append(sim::maskedOutsideText("sent Zq7pw9\nand pass").withLinesLedBy("2.000 "));
    }
    std::string expected;
    for (const auto& c : cases)
        expected += c.written + "\n";
    EXPECT_EQ(testkit::readFile(scratch.path() / "run" / "steps.log"), expected);
    // A line of the application's is a text from outside whole: the password masked wherever it
    // stands, a time leading each line kept.
    EXPECT_EQ(testkit::readFile(scratch.path() / "run" / "app.log"), "1.000 ***\n2.000 sent ***\n2.000 and ***\n");
    EXPECT_TRUE(folder->record(&why)) << why;
}

} // namespace
