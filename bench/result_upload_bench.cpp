// The results screen's transaction update over loopback, from the end button's tap to the handled
// reply (the spinner gone, the reply's message on screen), beside a bare ns::URLSession POST of
// the same JSON body to the same server with the caller waiting for its completion. The server
// answers {"status": 0}, so the screen stays and the next tap posts again. "vs_bare" on the update
// row is its time per request over the bare POST's (the bare row runs first).

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <memory>
#include <mutex>

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/foundation/data.h"
#include "platform/foundation/json.h"
#include "platform/foundation/url_request.h"
#include "platform/foundation/url_session.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/window.h"
#include "service/http_client.h"
#include "service/reply_models.h"
#include "session/core/test_base_model.h"
#include "session/result_view_controller.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/main_loop.h"
#include "ui/overlays/view_hud.h"

namespace {

constexpr const char* kUpdatePath = "/updateresult/";
double bareSecondsPerRequest = 0;

// A finished login, a run of three items and the results screen on screen, posting to loopback.
struct UpdateScene {
    testkit::LoopbackServer server;
    testkit::AppFixture app{{.device = "iphone7"}};
    rt::Ref<ui::Window> window = rt::make<ui::Window>();
    rt::Ref<ft::ResultViewController> screen;

    UpdateScene() {
        server.script("POST", kUpdatePath, {.body = R"({"status": 0})"});
        auto defaults = ns::UserDefaults::standardUserDefaults();
        defaults->setString("356938035643809", "uniqueid");
        defaults->setString("T-1", "transcationuuid");
        auto login = rt::make<ft::LoginModel>();
        login->setLoginid(7);
        login->setCompany(3);
        login->setSite(ns::Number::withInt(12));
        login->store();
        auto query = rt::make<ft::QuerySNModel>();
        query->setProductid(ns::String::make("P1"));
        query->setSolutionid(ns::String::make("S1"));
        query->store();
        ft::HttpClient::sharedHttpClient()->setWebserviceserver(ns::String::make(server.url("")));

        auto items = ns::MutableArray::make();
        for (auto [profile, success] : std::initializer_list<std::pair<const char*, int>>{{"WIFI", 1}, {"GPS", 1}, {"BATTERY", 2}}) {
            auto item = ft::TestBaseModel::make();
            item->setProfile(ns::String::make(profile));
            item->setSuccess(success);
            items->addObject(item);
        }
        screen = rt::cast<ft::ResultViewController>(
            ui::Storyboard::storyboardWithName("Main")->instantiateViewControllerWithIdentifier("ResultViewController"));
        screen->setList(items);
        window->setRootViewControllerObject(ui::NavigationController::withRootViewController(screen));
        window->makeKeyAndVisible();
        app.runUntilIdle();
    }
    ~UpdateScene() {
        screen = nullptr;
        window = nullptr;
        ft::HttpClient::resetSharedHttpClientForTesting();
    }
    std::string body() const {
        return ns::JSONSerialization::stringWithJSONObject(screen->transactionUpdate()).value_or("");
    }
    // The reply's message on the screen's view.
    bool handled() const {
        auto hud = vh::ProgressHUD::HUDForView(screen->view());
        return hud && hud->mode() == vh::ProgressHUD::kModeText;
    }
};

void BM_BareURLSessionPost(benchmark::State& state) {
    UpdateScene scene;
    auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
    auto request = ns::MutableURLRequest::requestWithURL(ns::URL::URLWithString(scene.server.url(kUpdatePath)));
    request->setHTTPMethod("POST");
    request->setValueForHTTPHeaderField("application/json", "Content-Type");
    request->setHTTPBody(ns::Data::make(scene.body()));
    std::mutex lock;
    std::condition_variable cv;
    bool done = false, ok = false;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        done = false;
        session
            ->dataTaskWithRequest(request,
                                  [&](rt::Ref<ns::URLResponse>, rt::Ref<ns::Data> data, rt::Ref<ns::Error> error) {
                                      {
                                          std::lock_guard g(lock);
                                          ok = !error && data &&
                                               rt::cast<ns::Dictionary>(ns::JSONSerialization::JSONObjectWithData(data));
                                          done = true;
                                      }
                                      cv.notify_one();
                                  })
            ->resume();
        std::unique_lock g(lock);
        cv.wait(g, [&] { return done; });
        if (!ok) {
            state.SkipWithError("the POST failed");
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    if (state.iterations()) bareSecondsPerRequest = seconds / double(state.iterations());
    state.counters["requests_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareURLSessionPost)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_TransactionUpdateTapToReply(benchmark::State& state) {
    UpdateScene scene;
    auto button = scene.screen->bottomButton();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!scene.app.tap(button)) {
            state.SkipWithError("the end button could not be tapped");
            break;
        }
        for (int turn = 0; turn < 1000 && !scene.handled(); ++turn) testkit::runMainLoopFor(0);
        if (!scene.handled()) {
            state.SkipWithError("the reply was not handled");
            break;
        }
        // The message goes at once, so the next tap starts from the same screen.
        vh::ProgressHUD::hideHUDForView(scene.screen->view(), false);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["requests_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    if (state.iterations() && bareSecondsPerRequest > 0)
        state.counters["vs_bare"] = seconds / double(state.iterations()) / bareSecondsPerRequest;
}
BENCHMARK(BM_TransactionUpdateTapToReply)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
