#pragma once
// Pictures of what a run showed, for a person to look at afterwards: one each time a screen comes
// on top, one when a test screen's question (its pass and fail buttons) comes to show, one for each
// alert or action sheet shown, and one when a HUD has shown a new text (at the next settle, while a
// HUD still shows), written into the run folder's pictures/ and named by order, the key of the test
// item on screen, if any, and class ("007-LDI_STICKER-WaterDamgeViewController.png",
// "008-LDI_STICKER-alert.png", "009-hud.png"). The item on screen is the test screen's, the one the
// runner shows, or that of the test screen that presented the screen on top. Each is the key window
// as the screen shows it, one pixel a point (ui::screenPicture). A screen seen on top while its
// transition still runs is pictured once it has appeared (or at the next settle after its
// transition, or when the next screen comes, whichever is first), so the picture shows it and not
// the screen it covers. The folder is made with the first picture. The screen is recorded on the
// main thread (ui::recordScreen); painting, compressing and writing happen on threads of the job's
// own (screens wait their turn, a few dozen at most, and no more than a few camera
// frames' worth of bitmaps), so the run does not wait for them. A screen
// recorded as one of the last few distinct screens was is not painted again: its picture is that
// one's file, copied. A picture that cannot be written is one warning, and no picture is tried
// after it; the run goes on as if nothing happened. Each text a picture draws cut
// (ui::addTextCutObserver) is listed.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace cg {
class DisplayList;
}
namespace ui {
class ViewController;
}

namespace app {

class ScreenPictures {
public:
    explicit ScreenPictures(std::filesystem::path folder);
    ~ScreenPictures();
    ScreenPictures(const ScreenPictures&) = delete;
    ScreenPictures& operator=(const ScreenPictures&) = delete;

    // `top` came on top: its picture, unless it is the screen pictured last. Answers the picture's
    // name as the report gives it ("pictures/007-LDI_STICKER-WaterDamgeViewController.png"); empty
    // when none was written.
    std::string screenCameOnTop(const rt::Ref<ui::ViewController>& top);
    // After each settle: the screen waiting for its picture, if its transition has ended, the
    // screen on top again if its question has come to show, a picture for each alert or sheet that
    // is shown and was not pictured yet, and one of the HUD that has shown a new text since the
    // last look.
    void lookForDialogs();
    // The texts the pictures drew cut, in order: "<picture>: <view class> \"<text>\"".
    const std::vector<std::string>& cutTexts() const noexcept { return cutTexts_; }

    // What the report says of the pictures, once all are written: how many and where, and the
    // warning.
    std::string summary();
    // How many of the pictures were painted, once all are written; the others are copies.
    int painted();

private:
    // The next file's name, "<order>-<item key>-<what>.png" ("<order>-<what>.png" without an item).
    std::string reserve(const std::string& what);
    // Draws the key window's picture and hands it to the writer under that name; false when no
    // picture is taken (none after a failure).
    bool write(const std::string& file);
    // The screen waiting for its picture gets it now.
    void writePending();

    struct Writer;
    std::filesystem::path folder_;
    std::unique_ptr<Writer> writer_;
    std::uint64_t appearanceToken_ = 0, hudToken_ = 0, textCutToken_ = 0;
    bool hudTextShown_ = false;    // since the last look
    std::string itemKey_;          // of the item on screen, for the file names
    bool asking_ = false;          // the last screen's question showed at the last look
    std::string drawing_;          // the picture being recorded
    std::vector<std::string> cutTexts_;
    rt::Weak<rt::Object> pending_; // a screen on top whose picture waits for its appearance
    std::string pendingFile_;
    int order_ = 0;
    bool folderMade_ = false;
    rt::Weak<rt::Object> lastScreen_;
    std::string lastName_;
    std::vector<rt::Weak<rt::Object>> seenDialogs_;
    // The last distinct screens recorded, with their pictures' paths. A recording holds the
    // images it draws alive, a camera's frame or still about a megabyte each: the screens kept hold
    // two such at most.
    struct Recorded {
        std::uint64_t fingerprint;
        std::shared_ptr<const cg::DisplayList> drawing;
        cg::Size size;
        std::filesystem::path path;
        std::size_t imageBytes;
    };
    static constexpr std::size_t kRecent = 16;
    static constexpr std::size_t kRecentImageBytes = 2'600'000;
    std::deque<Recorded> recent_;
    std::size_t recentImageBytes_ = 0;
};

} // namespace app
