#pragma once
// Pictures of what a run showed, for a person to look at afterwards: one each time a screen comes
// on top, one when a test screen's question (its pass and fail buttons) comes to show, one for the
// test screen's row once it is decided, one for each alert or action sheet shown and each press of
// one, and one when a HUD has shown a new text (at the next settle, while a HUD still shows), made
// through the run folder (a folder held open, never a path) in its pictures/ and named by order,
// the key of the test item on screen, if any, and class
// ("007-LDI_STICKER-WaterDamgeViewController.png", "008-LDI_STICKER-alert.png", "009-hud.png"). The
// item on screen is the test screen's, the one the runner shows, or that of the test screen that
// presented the screen on top. Each is the key window as the screen shows it, one pixel a point
// (ui::screenPicture). A screen seen on top while its transition still runs is pictured once it
// has appeared (or at the next settle after its transition, or when the next screen comes,
// whichever is first), so the picture shows it and not the screen it covers.
//
// A row is decided when its test screen writes a verdict on its item (pass or fail: the item's
// "success" observed); the screen is pictured once, at the commit of the turn that wrote it
// (ca::Transaction), with all that turn drew before and after the verdict, and nowhere else: a
// transition or a dialog's take-away asked for in that turn starts after the commit, so the screen
// stands under its own bar and the dialog still shows. The frame of that turn shows the answer
// tapped (ui::Control::tappedThisTurn) and a dialog's button pressed (ui::ButtonDialog), a timer's
// countdown where it stopped. A verdict written on another thread is pictured at the main thread's
// next commit. A screen leaving undecided is pictured as it leaves (a verdict it gives then is told
// that picture). Every press of a dialog is pictured as the finger lifts, its button pressed, before
// what the press does. The verdict hook is told the picture's name, which the report's row then
// gives. The results screen is followed by a picture of each further screenful of its table,
// scrolled so that the first row not shown whole comes where the first row shows at rest
// ("-rows-9-16"), and put back. No picture repeats the one just written while the same screen is
// on top: the name of that one stands for it.
//
// The folder is made with the first picture. The screen is recorded on the main thread
// (ui::recordScreen); painting, compressing and writing happen on threads of the job's own (screens
// wait their turn, a few dozen at most, and no more than a few camera frames' worth of bitmaps), so
// the run does not wait for them. A screen recorded as one of the last few distinct screens was is
// not painted again: its picture is that one's file, copied. A picture that cannot be written is
// one warning, and no picture is tried after it; the run goes on as if nothing happened. The texts
// each picture shows whole (ui::addTextDrawnObserver: drawn whole, inside every view that clips
// it) are kept by picture, and each text a picture draws cut is listed.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/directory.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace cg {
class DisplayList;
}
namespace ui {
class TableView;
class ViewController;
}

namespace app {

class VerdictWatch;

class ScreenPictures {
public:
    // The pictures go into the folder `name` of `parent`, made with the first picture.
    ScreenPictures(ns::Directory parent, std::string name);
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
    // Told the name of each picture of a row's verdict, as screenCameOnTop answers names.
    void setVerdictHook(std::function<void(const std::string& picture)> hook) { verdictHook_ = std::move(hook); }
    // The texts the pictures drew cut, in order: "<picture>: <view class> \"<text>\"".
    const std::vector<std::string>& cutTexts() const noexcept { return cutTexts_; }
    // The texts each picture shows whole, by the picture's file name.
    const std::map<std::string, std::vector<std::string>>& shownTexts() const noexcept { return shownTexts_; }

    // What the report says of the pictures, once all are written: how many and where, and the
    // warning.
    std::string summary();
    // Why the pictures stopped, once all are written: the first that could not be written whole
    // (none of it is left); empty when all were.
    std::string failure();
    // How many of the pictures were painted, once all are written; the others are copies.
    int painted();

private:
    // The next file's name, "<order>-<item key>-<what>.png" ("<order>-<what>.png" without an item).
    std::string reserve(const std::string& what);
    // Records the key window and hands its picture to the writer under `file`, or, without one,
    // under the next name for `what`. Answers the file's name; the name of the picture just
    // written when this one would repeat it (the same screen on top, drawn alike: only when no name
    // was reserved); empty when no picture is taken (none after a failure).
    std::string write(const std::string& what, const std::string& file = {});
    // The screen waiting for its picture gets it now.
    void writePending();
    // What follows a screen's own picture: the further screenfuls of the results screen's table.
    void writeRestOf(const rt::Ref<rt::Object>& screen);
    void writeScreenfuls(ui::TableView& table, const std::string& what);
    // The test screen under `top` (it, or the one that presented it) is the one whose verdict is
    // watched from now on.
    void watchVerdictUnder(const rt::Ref<ui::ViewController>& top);
    void stopWatching();
    // The watched screen's row was decided (on the main thread): its picture waits for the turn's
    // commit.
    void verdictGiven();
    // The screen on top pictured for the watched screen's row, told to the verdict hook.
    void writeVerdict();

    struct Writer;
    ns::Directory parent_;
    std::string name_;
    std::unique_ptr<Writer> writer_;
    std::uint64_t appearanceToken_ = 0, disappearanceToken_ = 0, pressToken_ = 0, hudToken_ = 0,
                  textDrawnToken_ = 0;
    bool hudTextShown_ = false;    // since the last look
    std::string itemKey_;          // of the item on screen, for the file names
    bool asking_ = false;          // the last screen's question showed at the last look
    std::vector<std::string> cutTexts_;
    rt::Weak<rt::Object> pending_; // a screen on top whose picture waits for its appearance
    std::string pendingFile_;
    int order_ = 0;
    bool folderMade_ = false;
    rt::Weak<rt::Object> lastScreen_;
    std::string lastName_;
    // The picture written last, with the screen on top then.
    struct Written {
        rt::Weak<rt::Object> screen;
        std::shared_ptr<const cg::DisplayList> drawing;
        std::uint64_t fingerprint = 0;
        cg::Size size;
        std::string file;
    } lastWritten_;
    // The texts the screen being recorded shows whole and draws cut ("<view class> \"<text>\"").
    bool recording_ = false;
    std::vector<std::string> recordedTexts_, recordedCuts_;
    std::map<std::string, std::vector<std::string>> shownTexts_;
    // The test screen whose row's verdict is pictured, its item observed.
    rt::Ref<VerdictWatch> verdictWatch_;
    rt::Id watchedItem_;
    rt::Weak<rt::Object> watchedScreen_;
    bool decided_ = false; // its row has a verdict
    bool due_ = false;     // whose picture waits for the turn's commit
    bool leaving_ = false; // it was told it will disappear
    // Held by this object alone: a commit handler outliving it does nothing.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    std::function<void(const std::string&)> verdictHook_;
    std::vector<rt::Weak<rt::Object>> seenDialogs_;
    // The last distinct screens recorded, with their pictures' paths. A recording holds the
    // images it draws alive, a camera's frame or still about a megabyte each: the screens kept hold
    // two such at most.
    struct Recorded {
        std::uint64_t fingerprint;
        std::shared_ptr<const cg::DisplayList> drawing;
        cg::Size size;
        std::string file;
        std::size_t imageBytes;
    };
    static constexpr std::size_t kRecent = 16;
    static constexpr std::size_t kRecentImageBytes = 2'600'000;
    std::deque<Recorded> recent_;
    std::size_t recentImageBytes_ = 0;
};

} // namespace app
