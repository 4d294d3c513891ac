#include "app/screen_pictures.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/graphics/raster_context.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"

namespace app {

namespace fs = std::filesystem;

// Paints and writes the screens recorded on the main thread, on threads of its own; the first
// failure stops it. A picture whose pixels equal an earlier one's (a run shows many screens that
// look alike) is copied from that one's file rather than compressed again.
struct ScreenPictures::Writer {
    static constexpr std::size_t kWaiting = 16; // screens held at most before the main thread waits
    static constexpr int kThreads = 3;

    struct Screen {
        fs::path path;
        cg::DisplayList drawing;
        cg::Size size;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Screen> queue;
    int busy = 0;
    bool stopping = false;
    int written = 0;
    std::string warning;
    using Key = std::pair<std::uint64_t, std::uint64_t>;
    struct File {
        fs::path path;
        bool done = false; // written
    };
    std::map<Key, File> files; // the pictures written, by their pixels' hashes
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
        changed.wait(g, [&] { return queue.size() < kWaiting; });
        queue.push_back(std::move(screen));
        changed.notify_all();
    }
    // Waits until every screen handed over is written (or dropped after a failure).
    void finish() {
        std::unique_lock g(lock);
        changed.wait(g, [&] { return queue.empty() && busy == 0; });
    }
    // Paints the screen and writes its picture, or copies an equal one's (waiting for it to be
    // written); what went wrong, if anything.
    std::string write(Screen& screen) {
        const std::unique_ptr<cg::RasterContext> picture = ui::pictureOf(screen.drawing, screen.size);
        screen.drawing.clear();
        const Key key = keyOf(*picture);
        std::unique_lock g(lock);
        if (auto it = files.find(key); it != files.end()) {
            changed.wait(g, [&] { return it->second.done || !warning.empty(); });
            const fs::path earlier = it->second.path;
            g.unlock();
            std::error_code ec;
            fs::copy_file(earlier, screen.path, fs::copy_options::overwrite_existing, ec);
            return ec ? "cannot write " + screen.path.string() + ": " + ec.message() : std::string();
        }
        auto it = files.emplace(key, File{screen.path}).first;
        g.unlock();
        rt::Ref<ns::Error> error = picture->writePNG(screen.path.string());
        g.lock();
        it->second.done = !error;
        changed.notify_all();
        return error ? error->localizedDescription()->utf8() : std::string();
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
            ++busy;
            changed.notify_all();
            if (warning.empty()) {
                g.unlock();
                const std::string why = write(screen);
                g.lock();
                if (why.empty())
                    ++written;
                else if (warning.empty())
                    warning = why;
            }
            --busy;
            changed.notify_all();
        }
    }
};

ScreenPictures::ScreenPictures(fs::path folder)
    : folder_(std::move(folder)), writer_(std::make_unique<Writer>()) {
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        if (pending_.lock().get() == &controller) writePending();
    });
}

ScreenPictures::~ScreenPictures() {
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
}

std::string ScreenPictures::reserve(const std::string& what) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d-", ++order_);
    return number + what + ".png";
}

bool ScreenPictures::write(const std::string& file) {
    const rt::Ref<ui::Application> application = ui::Application::sharedApplication();
    const rt::Ref<ui::Window> window = application ? application->keyWindow() : nullptr;
    if (!window || writer_->failed()) return false;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        writer_->fail("cannot make " + folder_.string() + ": " + ec.message());
        return false;
    }
    writer_->push({folder_ / file, ui::recordScreen(*window), window->bounds().size});
    return true;
}

void ScreenPictures::writePending() {
    if (pendingFile_.empty()) return;
    write(pendingFile_);
    pending_ = nullptr;
    pendingFile_.clear();
}

std::string ScreenPictures::screenCameOnTop(const rt::Ref<ui::ViewController>& top) {
    if (!top) return {};
    if (lastScreen_.lock() == rt::Id(top)) return lastName_;
    writePending();
    lastScreen_ = rt::Id(top);
    const std::string file = reserve(std::string(top->getClass().name()));
    if (top->appearance() == ui::ViewController::Appearance::Appearing) {
        pending_ = rt::Id(top);
        pendingFile_ = file;
    } else if (!write(file)) {
        return lastName_ = {};
    }
    return lastName_ = (folder_.filename() / file).string();
}

void ScreenPictures::lookForDialogs() {
    if (rt::Ref<ui::ViewController> waiting = rt::cast<ui::ViewController>(pending_.lock());
        !waiting || waiting->appearance() != ui::ViewController::Appearance::Appearing)
        writePending();
    std::erase_if(seenDialogs_, [](const rt::Weak<rt::Object>& seen) { return !seen.lock(); });
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented()) {
        const rt::Id shown(dialog);
        if (std::any_of(seenDialogs_.begin(), seenDialogs_.end(),
                        [&](const rt::Weak<rt::Object>& seen) { return seen.lock() == shown; }))
            continue;
        seenDialogs_.emplace_back(shown);
        write(reserve(rt::cast<ui::AlertView>(dialog) ? "alert" : "sheet"));
    }
}

std::string ScreenPictures::summary() {
    writer_->finish();
    std::lock_guard g(writer_->lock);
    const std::string text = std::to_string(writer_->written) + " in " + folder_.string();
    return writer_->warning.empty() ? text
                                    : text + "; warning: " + writer_->warning + "; no picture after it";
}

} // namespace app
