#include "app/screen_pictures.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "app/run_report.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/thread.h"
#include "platform/graphics/image.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/number.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/control.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/transaction.h"
#include "platform/uikit/window.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "session/result_view_controller.h"
#include "ui/overlays/hud_texts.h"

namespace app {

namespace fs = std::filesystem;

namespace {

// The screen that shows a test item at `screen`: it or the nearest that presented it (a navigation
// controller standing for its top screen), a test screen or the runner; nil for none.
rt::Ref<ui::ViewController> itemScreenUnder(rt::Ref<ui::ViewController> screen) {
    for (; screen; screen = screen->presentingViewController()) {
        if (auto navigation = rt::cast<ui::NavigationController>(screen)) screen = navigation->topViewController();
        if (rt::cast<ft::BaseModelViewController>(screen) || rt::cast<ft::ReadyStartViewController>(screen))
            return screen;
        if (!screen) return nullptr;
    }
    return nullptr;
}

// The test item `screen` shows: a test screen's, the one the runner shows, or that of the test
// screen that presented it; nil for none.
rt::Ref<ft::TestBaseModel> itemShownBy(const rt::Ref<ui::ViewController>& screen) {
    const rt::Ref<ui::ViewController> shower = itemScreenUnder(screen);
    if (auto test = rt::cast<ft::BaseModelViewController>(shower)) return test->info();
    auto runner = rt::cast<ft::ReadyStartViewController>(shower);
    if (!runner) return nullptr;
    // A runner that starts an automatic item as it appears has moved its index past the item
    // already; the screen it opens waits for the appearance to end.
    const rt::Ref<ui::NavigationController> navigation = runner->navigationController();
    const rt::Ref<ns::Array>& items = runner->doItems();
    const std::int64_t at = runner->handleIndex() - (navigation && navigation->pendingTransitionCount() > 0 ? 1 : 0);
    return items && at >= 0 && std::size_t(at) < items->count()
               ? rt::cast<ft::TestBaseModel>(items->objectAtIndex(std::size_t(at)))
               : nullptr;
}

// Whether the view's bounds lie inside every view above it that clips, in the window's space:
// what it draws shows whole (nothing over it considered).
bool insideItsClips(const ui::View& view) {
    const cg::Rect rect = view.convertRectToView(view.bounds(), nullptr);
    for (rt::Ref<ui::View> above = view.superview(); above; above = above->superview())
        if (above->clipsToBounds() &&
            !above->convertRectToView(above->bounds(), nullptr).insetBy(-0.5, -0.5).contains(rect))
            return false;
    return true;
}

// The item's key as part of a file name: letters, digits, "_" and "-" only, at most 64.
std::string fileKeyOf(const rt::Ref<ft::TestBaseModel>& item) {
    std::string key = item && item->profile() ? item->profile()->utf8().substr(0, 64) : std::string();
    for (char& c : key)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
    return key;
}

// Whether a test screen shows its question: its pass button.
bool asksQuestion(const rt::Ref<rt::Object>& screen) {
    auto test = rt::cast<ft::BaseModelViewController>(screen);
    const rt::Ref<ui::Button> pass = test ? test->successButton() : nullptr;
    return pass && !pass->isHidden();
}

} // namespace

// Paints and writes the screens recorded on the main thread, on threads of its own; the first
// failure stops it. A screen recorded as an earlier one was, or whose pixels equal an earlier
// picture's (a run shows many screens that look alike), is copied from that one's file rather than
// painted or compressed again.
struct ScreenPictures::Writer {
    // Screens held at most before the main thread waits: a record is small, and the run goes on
    // while a busy machine gives the writers little time.
    static constexpr std::size_t kWaiting = 64;
    // Two writers keep up with a run; each more holds a whole screen's pixels (and its own
    // allocator arena) without making the run any shorter.
    static constexpr int kThreads = 2;

    // Pixels of bitmaps the screens waiting may hold alive before the main thread waits (a
    // camera's frame or still is about a megabyte), beyond the first screen waiting.
    static constexpr std::size_t kWaitingImageBytes = 4'000'000;

    struct Screen {
        std::string file; // in the folder
        std::shared_ptr<const cg::DisplayList> drawing; // nil: a copy of `sameAs`
        cg::Size size;
        std::string sameAs;
        std::size_t imageBytes = 0; // of the bitmaps `drawing` holds alive
    };
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Screen> queue;
    std::size_t waitingImageBytes = 0;
    int busy = 0;
    bool stopping = false;
    int written = 0;
    int painted = 0;
    std::string warning;
    using Key = std::pair<std::uint64_t, std::uint64_t>;
    std::optional<ns::Directory> folder; // where the pictures go, once it is made
    std::map<Key, std::string> files;    // the pictures painted, by their pixels' hashes
    std::set<std::string> finished;      // the pictures written
    std::vector<std::thread> threads;

    Writer() {
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([this] { run(); });
    }
    ~Writer() {
        {
            std::lock_guard g(lock);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& thread : threads)
            thread.join();
    }
    bool failed() {
        std::lock_guard g(lock);
        return !warning.empty();
    }
    void fail(std::string why) {
        std::lock_guard g(lock);
        if (warning.empty()) warning = std::move(why);
    }
    void push(Screen screen) {
        std::unique_lock g(lock);
        changed.wait(g, [&] {
            return queue.empty() ||
                   (queue.size() < kWaiting && waitingImageBytes + screen.imageBytes <= kWaitingImageBytes);
        });
        waitingImageBytes += screen.imageBytes;
        queue.push_back(std::move(screen));
        changed.notify_all();
    }
    // Waits until every screen handed over is written (or dropped after a failure).
    void finish() {
        std::unique_lock g(lock);
        changed.wait(g, [&] { return queue.empty() && busy == 0; });
    }
    // Writes the picture `file` whole into the folder: what went wrong, if anything.
    std::string put(const std::string& file, std::string_view png) {
        const int error = folder->write(file, png, ns::Durability::Unsynced);
        return error ? "Could not write the picture to " + folder->pathOf(file) + ": " + std::strerror(error) : "";
    }
    // Copies the earlier picture once it is written (it was handed over first, so a thread has it).
    std::string copy(std::unique_lock<std::mutex>& g, const std::string& earlier, const std::string& file) {
        changed.wait(g, [&] { return finished.count(earlier) || !warning.empty(); });
        if (!warning.empty()) return {};
        g.unlock();
        std::string png;
        const int error = folder->read(earlier, &png);
        std::string why = error ? "cannot read " + folder->pathOf(earlier) + ": " + std::strerror(error) : put(file, png);
        g.lock();
        return why;
    }
    // Paints the screen and writes its picture, or copies an equal one's; what went wrong, if
    // anything. Called and left with the lock held.
    std::string write(std::unique_lock<std::mutex>& g, Screen& screen) {
        if (!screen.drawing) return copy(g, screen.sameAs, screen.file);
        g.unlock();
        const std::unique_ptr<cg::RasterContext> picture = ui::pictureOf(*screen.drawing, screen.size);
        screen.drawing = nullptr;
        const Key key = keyOf(*picture);
        g.lock();
        ++painted;
        if (auto it = files.find(key); it != files.end()) return copy(g, it->second, screen.file);
        files.emplace(key, screen.file);
        g.unlock();
        std::string why = put(screen.file, picture->png());
        g.lock();
        return why;
    }
    // Two hashes of the pixels, 64 bits at a time.
    static Key keyOf(const cg::RasterContext& picture) {
        const std::uint8_t* bytes = picture.data();
        const std::size_t size = std::size_t(picture.stride()) * std::size_t(picture.height());
        Key key{14695981039346656037ull, 0x9e3779b97f4a7c15ull};
        for (std::size_t at = 0; at + 8 <= size; at += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + at, 8);
            key.first = (key.first ^ word) * 1099511628211ull;
            key.second = (key.second + word) * 0xff51afd7ed558ccdull;
        }
        return key;
    }
    void run() {
        std::unique_lock g(lock);
        for (;;) {
            changed.wait(g, [&] { return stopping || !queue.empty(); });
            if (queue.empty()) return;
            Screen screen = std::move(queue.front());
            queue.pop_front();
            waitingImageBytes -= screen.imageBytes;
            ++busy;
            changed.notify_all();
            if (warning.empty()) {
                const std::string why = write(g, screen);
                if (!why.empty() && warning.empty()) warning = why;
                if (why.empty() && warning.empty()) {
                    ++written;
                    finished.insert(screen.file);
                }
            }
            --busy;
            changed.notify_all();
        }
    }
};

// Observes the watched item's "success": a pass or a fail written there decides the row.
class VerdictWatch final : public rt::Object {
    RT_CLASS(VerdictWatch)
public:
    std::function<void(const rt::Id& item)> decided;
    void observeValueForKeyPath(std::string_view, const rt::Id& item, const rt::Ref<ns::Dictionary>& change,
                                void*) override {
        const auto code = rt::cast<ns::Number>(change ? change->objectForKey(ns::KeyValueChangeNewKey) : nullptr);
        const long long value = code ? code->longLongValue() : 0;
        if ((value == ft::TestBaseModel::kPassed || value == ft::TestBaseModel::kFailed) && decided) decided(item);
    }

protected:
    VerdictWatch() = default;
};

RT_DEFINE_CLASS(VerdictWatch, "FTJobVerdictWatch", rt::Object)

ScreenPictures::ScreenPictures(ns::Directory parent, std::string name)
    : parent_(std::move(parent)), name_(std::move(name)), writer_(std::make_unique<Writer>()),
      verdictWatch_(rt::make<VerdictWatch>()) {
    // A verdict written on another thread is pictured at the main thread's next commit, if its item
    // is still the one watched then.
    verdictWatch_->decided = [this, alive = std::weak_ptr<const bool>(alive_)](const rt::Id& item) {
        if (ns::Thread::isMainThread()) return verdictGiven();
        dispatch::async(dispatch::Queue::main(), [this, alive, written = rt::Weak<rt::Object>(item)] {
            const rt::Id still = written.lock();
            if (alive.lock() && still && still == watchedItem_) verdictGiven();
        });
    };
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        if (pending_.lock().get() == &controller) writePending();
    });
    // The watched test screen leaving undecided (not one that a screen it presents covers) is
    // pictured as it leaves, as it stood; a verdict it gives as it leaves is told that picture.
    disappearanceToken_ = ui::ViewController::addWillDisappearObserver([this](ui::ViewController& controller) {
        if (watchedScreen_.lock().get() != &controller) return;
        for (rt::Ref<ui::ViewController> c = rt::retained(&controller); c; c = c->parentViewController())
            if (c->presentedViewController()) return;
        leaving_ = true;
        if (!decided_) writeVerdict();
    });
    // Each press of a dialog, its button pressed, before what it does.
    pressToken_ = ui::ButtonDialog::addPressObserver([this](ui::ButtonDialog& dialog) {
        if (!recording_) write(rt::cast<ui::AlertView>(rt::retained(&dialog)) ? "alert" : "sheet");
    });
    hudToken_ = sh::addHUDTextObserver([this](std::string_view) { hudTextShown_ = true; });
    textDrawnToken_ = ui::addTextDrawnObserver([this](const ui::View& view, const ns::String& text, bool whole) {
        if (!recording_) return;
        if (!whole)
            recordedCuts_.push_back(std::string(view.getClass().name()) + " \"" + cutName(text.utf8()) + "\"");
        else if (text.length() > 0 && insideItsClips(view))
            recordedTexts_.push_back(text.utf8());
    });
}

ScreenPictures::~ScreenPictures() {
    stopWatching();
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
    ui::ViewController::removeWillDisappearObserver(disappearanceToken_);
    ui::ButtonDialog::removePressObserver(pressToken_);
    sh::removeHUDTextObserver(hudToken_);
    ui::removeTextDrawnObserver(textDrawnToken_);
}

std::string ScreenPictures::reserve(const std::string& what) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d-", ++order_);
    return number + (itemKey_.empty() ? "" : itemKey_ + "-") + what + ".png";
}

// The pixels of the bitmaps a recording draws, which it holds alive.
static std::size_t imageBytes(const cg::DisplayList& drawing) {
    std::size_t bytes = 0;
    for (const cg::DrawCommand* command : drawing.images())
        if (const rt::Ref<cg::Image> image = rt::cast<cg::Image>(command->image))
            bytes += image->height() * image->bytesPerRow();
    return bytes;
}

std::string ScreenPictures::write(const std::string& what, const std::string& reserved) {
    const rt::Ref<ui::Application> application = ui::Application::sharedApplication();
    const rt::Ref<ui::Window> window = application ? application->keyWindow() : nullptr;
    if (!window || writer_->failed()) return {};
    if (!folderMade_) {
        int error = 0;
        std::optional<ns::Directory> folder = parent_.folder(name_, &error);
        if (!folder) {
            writer_->fail("cannot make " + parent_.pathOf(name_) + ": " + std::strerror(error));
            return {};
        }
        std::lock_guard g(writer_->lock);
        writer_->folder = std::move(folder);
        folderMade_ = true;
    }
    recording_ = true;
    recordedTexts_.clear();
    recordedCuts_.clear();
    auto drawing = std::make_shared<const cg::DisplayList>(ui::recordScreen(*window));
    recording_ = false;
    const cg::Size size = window->bounds().size;
    const std::uint64_t fingerprint = drawing->fingerprint();
    const rt::Id screen = lastScreen_.lock();
    // The screen on top drawn as in the picture just written: nothing new to see.
    if (reserved.empty() && screen && lastWritten_.screen.lock() == screen && lastWritten_.size == size &&
        lastWritten_.fingerprint == fingerprint && *lastWritten_.drawing == *drawing)
        return lastWritten_.file;
    const std::string file = reserved.empty() ? reserve(what) : reserved;
    for (const std::string& cut : recordedCuts_)
        cutTexts_.push_back(file + ": " + cut);
    shownTexts_[file] = std::move(recordedTexts_);
    lastWritten_ = {screen, drawing, fingerprint, size, file};
    for (const Recorded& earlier : recent_)
        if (earlier.fingerprint == fingerprint && earlier.size == size && *earlier.drawing == *drawing) {
            writer_->push({file, nullptr, size, earlier.file});
            return file;
        }
    const std::size_t bytes = imageBytes(*drawing);
    recent_.push_back({fingerprint, drawing, size, file, bytes});
    recentImageBytes_ += bytes;
    while (recent_.size() > kRecent || (recent_.size() > 1 && recentImageBytes_ > kRecentImageBytes)) {
        recentImageBytes_ -= recent_.front().imageBytes;
        recent_.pop_front();
    }
    writer_->push({file, std::move(drawing), size, {}, bytes});
    return file;
}

void ScreenPictures::writePending() {
    if (pendingFile_.empty()) return;
    const std::string file = std::exchange(pendingFile_, {});
    const rt::Id screen = pending_.lock();
    pending_ = nullptr;
    if (!write({}, file).empty()) writeRestOf(screen);
}

void ScreenPictures::writeRestOf(const rt::Ref<rt::Object>& screen) {
    if (auto results = rt::cast<ft::ResultViewController>(screen))
        if (const rt::Ref<ui::TableView> table = results->tableView())
            writeScreenfuls(*table, std::string(results->getClass().name()));
}

// Each further screenful: the first row not shown whole scrolled to where the first row shows at
// rest (the last screenful too, held there as a finger holds a table dragged past its end, so no
// row shows cut at the top), pictured, named by the rows it shows whole; then the table as it was.
void ScreenPictures::writeScreenfuls(ui::TableView& table, const std::string& what) {
    std::vector<cg::Rect> rows;
    for (long section = 0; section < table.numberOfSections(); ++section)
        for (long row = 0; row < table.numberOfRowsInSection(section); ++row)
            rows.push_back(table.rectForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, section)));
    const cg::Point start = table.contentOffset();
    const ui::EdgeInsets inset = table.adjustedContentInset();
    const double room = table.bounds().height() - inset.top - inset.bottom;
    for (double top = start.y + inset.top; room > 0;) {
        const auto cut = std::find_if(rows.begin(), rows.end(),
                                      [&](const cg::Rect& row) { return row.maxY() > top + room + 0.5; });
        if (cut == rows.end()) break;
        top = cut->minY() > top ? cut->minY() : top + room;
        table.setContentOffset({start.x, top - inset.top});
        const auto whole = [&](const cg::Rect& row) {
            return row.minY() >= top - 0.5 && row.maxY() <= top + room + 0.5;
        };
        const auto first = std::find_if(rows.begin(), rows.end(), whole);
        const auto last = std::find_if(rows.rbegin(), rows.rend(), whole);
        write(first == rows.end() ? what
                                  : what + "-rows-" + std::to_string(first - rows.begin() + 1) + "-" +
                                        std::to_string(rows.rend() - last));
    }
    table.setContentOffset(start);
}

std::string ScreenPictures::screenCameOnTop(const rt::Ref<ui::ViewController>& top) {
    if (!top) return {};
    if (lastScreen_.lock() == rt::Id(top)) return lastName_;
    writePending();
    lastScreen_ = rt::Id(top);
    watchVerdictUnder(top);
    itemKey_ = fileKeyOf(itemShownBy(top));
    asking_ = asksQuestion(top);
    const std::string what(top->getClass().name());
    std::string file;
    if (top->appearance() == ui::ViewController::Appearance::Appearing) {
        pending_ = rt::Id(top);
        pendingFile_ = file = reserve(what);
    } else if (file = write(what); file.empty()) {
        return lastName_ = {};
    } else {
        writeRestOf(top);
    }
    return lastName_ = name_ + "/" + file;
}

void ScreenPictures::watchVerdictUnder(const rt::Ref<ui::ViewController>& top) {
    auto test = rt::cast<ft::BaseModelViewController>(itemScreenUnder(top));
    if (test && rt::Id(test) == watchedScreen_.lock()) return; // a screen it presented, or itself again
    stopWatching();
    if (!test || !test->info()) return;
    watchedScreen_ = rt::Id(test);
    watchedItem_ = test->info();
    ns::addObserverForKeyPath(watchedItem_, verdictWatch_, "success", ns::KeyValueObservingOptions::New);
}

void ScreenPictures::stopWatching() {
    if (watchedItem_) ns::removeObserverForKeyPath(watchedItem_, verdictWatch_, "success");
    watchedItem_ = nullptr;
    watchedScreen_ = nullptr;
    decided_ = due_ = leaving_ = false;
}

void ScreenPictures::verdictGiven() {
    // A screen that decides as it leaves was pictured as it left.
    if (leaving_) return;
    decided_ = true;
    if (std::exchange(due_, true)) return;
    ca::Transaction::addCommitHandler([this, alive = std::weak_ptr<const bool>(alive_)] {
        if (alive.lock() && std::exchange(due_, false)) writeVerdict();
    });
}

void ScreenPictures::writeVerdict() {
    const rt::Id screen = lastScreen_.lock();
    if (!screen || !watchedScreen_.lock() || recording_ || !ns::Thread::isMainThread()) return;
    writePending(); // a screen deciding as it appears: its own picture shows the verdict
    const std::string file = write(std::string(screen->getClass().name()));
    if (!file.empty() && verdictHook_) verdictHook_(name_ + "/" + file);
}

void ScreenPictures::lookForDialogs() {
    if (rt::Ref<ui::ViewController> waiting = rt::cast<ui::ViewController>(pending_.lock());
        !waiting || waiting->appearance() != ui::ViewController::Appearance::Appearing)
        writePending();
    // What shows over a screen, or comes to show on it, waits for the screen's own picture.
    if (!pendingFile_.empty()) return;
    // A question asked after the screen came, such as a camera's still and whether it is right.
    if (const rt::Id screen = lastScreen_.lock()) {
        const bool asking = asksQuestion(screen);
        if (asking && !asking_) write(std::string(screen->getClass().name()));
        asking_ = asking;
    }
    std::erase_if(seenDialogs_, [](const rt::Weak<rt::Object>& seen) { return !seen.lock(); });
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented()) {
        const rt::Id shown(dialog);
        if (std::any_of(seenDialogs_.begin(), seenDialogs_.end(),
                        [&](const rt::Weak<rt::Object>& seen) { return seen.lock() == shown; }))
            continue;
        seenDialogs_.emplace_back(shown);
        write(rt::cast<ui::AlertView>(dialog) ? "alert" : "sheet");
    }
    // A text shown and taken away within one step was never on screen to picture.
    if (std::exchange(hudTextShown_, false) && !sh::hudTextsOnScreen().empty()) write("hud");
}

int ScreenPictures::painted() {
    writer_->finish();
    std::lock_guard g(writer_->lock);
    return writer_->painted;
}

std::string ScreenPictures::failure() {
    writer_->finish();
    std::lock_guard g(writer_->lock);
    return writer_->warning;
}

std::string ScreenPictures::summary() {
    writer_->finish();
    std::lock_guard g(writer_->lock);
    const std::string text = std::to_string(writer_->written) + " in " + parent_.pathOf(name_);
    return writer_->warning.empty() ? text
                                    : text + "; warning: " + writer_->warning + "; no picture after it";
}

} // namespace app
