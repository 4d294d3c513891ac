#include "service/login_view_model.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/foundation/application_home.h"
#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "service/http_client.h"
#include "service/reply_models.h"
#include "session/core/identity_masking.h"
#include "session/core/identity_notification.h"
#include "session/core/memory_cache.h"
#include "session/core/utility.h"
#include "streams/property_signals.h"
#include "streams/subscriber.h"

RT_DEFINE_CLASS(ft::LoginViewModel, "LoginViewModel", es::ViewModel,
                rt::prop("username", &ft::LoginViewModel::username, &ft::LoginViewModel::setUsername,
                         {.memory = rt::Memory::Copy}),
                rt::prop("password", &ft::LoginViewModel::password, &ft::LoginViewModel::setPassword,
                         {.memory = rt::Memory::Copy}),
                rt::prop("imei", &ft::LoginViewModel::imei, &ft::LoginViewModel::setImei, {.memory = rt::Memory::Copy}),
                rt::method("receiveImei:", &ft::LoginViewModel::receiveImei))

namespace ft {

namespace {

using es::Signal;

bool hasText(const rt::Id& value) {
    auto text = rt::cast<ns::String>(value);
    return text && text->length() > 0;
}

// A whole number as the service writes it: a number (truncated) or text with leading digits.
std::optional<long> wholeNumber(const rt::Id& value) {
    if (auto number = rt::cast<ns::Number>(value)) return number->longValue();
    if (auto text = rt::cast<ns::String>(value)) {
        const std::string digits = text->utf8();
        if (!digits.empty() && (std::isdigit(static_cast<unsigned char>(digits[0])) || digits[0] == '-'))
            return text->integerValue();
    }
    return std::nullopt;
}

bool statusIsOne(const rt::Ref<ns::Dictionary>& reply) {
    return reply && wholeNumber(reply->objectForKey("status")) == 1;
}

// An absolute http or https address with a host.
bool isServiceAddress(const rt::Id& value) {
    auto text = rt::cast<ns::String>(value);
    auto url = text ? ns::URL::URLWithString(text) : nullptr;
    if (!url || !url->host() || url->host()->length() == 0) return false;
    const std::string scheme = url->scheme() ? url->scheme()->utf8() : std::string();
    return scheme == "http" || scheme == "https";
}

// Letters, digits and "_" only: the profile file is one line of keys joined by ",".
bool isResultKey(const std::string& key) {
    if (key.empty()) return false;
    for (unsigned char c : key)
        if (!(std::isalnum(c) && c < 0x80) && c != '_') return false;
    return true;
}

std::string makeUUID() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t high = generator(), low = generator();
    high = (high & 0xffffffffffff0fffULL) | 0x0000000000004000ULL; // version 4
    low = (low & 0x3fffffffffffffffULL) | 0x8000000000000000ULL;   // variant 1
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xffff), static_cast<unsigned>(high & 0xffff),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xffffffffffffULL));
    return text;
}

rt::Ref<Signal> fail(const std::string& reason) {
    ns::log("Login: %s", reason.c_str());
    return Signal::error(LoginViewModel::stepError(reason));
}

// Step 1.
rt::Ref<Signal> applyProfile(const rt::Ref<HttpClient>& client, const rt::Id& value) {
    auto reply = rt::cast<ns::Dictionary>(value);
    rt::Id admin = reply ? reply->objectForKey("adminconsoleserver") : nullptr;
    rt::Id web = reply ? reply->objectForKey("webserviceserver") : nullptr;
    if (!isServiceAddress(admin) || !isServiceAddress(web)) return fail("the client profile names no usable addresses");
    client->setAdminconsoleserver(rt::cast<ns::String>(admin));
    client->setWebserviceserver(rt::cast<ns::String>(web));
    return Signal::returnValue(nullptr);
}

// Step 2.
rt::Ref<Signal> storeLogin(const rt::Ref<ns::String>& username, const rt::Id& value) {
    auto reply = rt::cast<ns::Dictionary>(value);
    if (!statusIsOne(reply) || !rt::cast<ns::Number>(reply->objectForKey("loginid")) ||
        !rt::cast<ns::Number>(reply->objectForKey("company")))
        return fail("the login was refused");
    rt::Ref<ns::Error> error;
    auto login = jm::Model::modelOfClass<LoginModel>(reply, &error);
    if (!login) return fail("the login reply is malformed: " + (error ? error->description() : std::string()));
    ns::UserDefaults::standardUserDefaults()->setObjectForKey(username, "username");
    if (!login->store()) return fail("the login could not be stored");
    MemoryCache::sharedInstance()->setObjectForKey(login, LoginModel::kDefaultsKey);
    return Signal::returnValue(login);
}

// Step 3.
rt::Ref<Signal> storeFeatures(const rt::Ref<LoginModel>& login, const rt::Id& value) {
    auto reply = rt::cast<ns::Dictionary>(value);
    auto features = reply ? rt::cast<ns::Array>(reply->objectForKey("features")) : nullptr;
    if (!statusIsOne(reply) || !features) return fail("the feature settings are malformed");
    rt::Ref<ns::Error> error;
    auto query = jm::Model::modelOfClass<QuerySNModel>(reply, &error);
    if (!query) return fail("the feature settings are malformed: " + (error ? error->description() : std::string()));
    if (!query->store()) return fail("the feature settings could not be stored");
    std::string keys;
    for (const rt::Id& feature : *features) {
        auto key = rt::cast<ns::String>(feature);
        if (!key || !isResultKey(key->utf8())) {
            ns::log("Login: feature key %@ dropped", feature);
            continue;
        }
        if (!keys.empty()) keys += ",";
        keys += key->utf8();
    }
    const std::string path = ns::ApplicationHome::documentsDirectory() + "/" + LoginViewModel::kConfigFileName;
    if (!ns::writeAtomically(path, keys, &error))
        return fail("the profile file could not be written: " + (error ? error->description() : std::string()));
    return Signal::returnValue(login);
}

// Steps 4 and 5.
rt::Ref<Signal> refreshDeviceTables(const rt::Ref<LoginModel>& login) {
    return Signal::createSignal([login](const rt::Ref<es::Subscriber>& subscriber) {
        Utility::iPadisWifiOnly(Utility::hardwareName(), [login, subscriber](const rt::Ref<ns::Dictionary>& table) {
            auto defaults = ns::UserDefaults::standardUserDefaults();
            if (table) defaults->setObjectForKey(table, Utility::kWifiOnlyListKey);
            else defaults->removeObjectForKey(Utility::kWifiOnlyListKey);
            defaults->synchronize();
            Utility::deviceModelNumberWithInternalName(
                Utility::deviceType(), [login, subscriber](const rt::Ref<ns::String>& model) {
                    auto defaults = ns::UserDefaults::standardUserDefaults();
                    if (model) defaults->setObjectForKey(model, "devicename");
                    else defaults->removeObjectForKey("devicename");
                    subscriber->sendNext(login);
                    subscriber->sendCompleted();
                });
        });
    });
}

rt::Ref<ns::String> storedDefaultText(std::string_view key) {
    rt::Ref<ns::String> value = ns::UserDefaults::standardUserDefaults()->stringForKey(key);
    return value ? value : ns::String::empty();
}

// Step 7.
rt::Ref<Signal> insertTransaction(const rt::Ref<HttpClient>& client, const rt::Ref<LoginModel>& login) {
    auto query = QuerySNModel::stored();
    if (!query) return fail("the feature settings are not stored");
    const rt::Ref<ns::String> uuid = ns::String::make(makeUUID());
    auto record = ns::MutableDictionary::make();
    auto set = [&](const char* key, const rt::Ref<ns::String>& text) {
        record->setObjectForKey(text ? text : ns::String::empty(), key);
    };
    set("uuid", uuid);
    set("operator", ns::stringWithFormat("%ld", static_cast<long>(login->loginid())));
    set("company", ns::stringWithFormat("%ld", static_cast<long>(login->company())));
    set("site", login->site() ? ns::String::make(login->site()->description()) : nullptr);
    set("productid", query->productid());
    set("solutionid", query->solutionid());
    set("timeCreated", Utility::createDateString());
    set("esnNumber", storedDefaultText("uniqueid"));
    set("sourceMake", ns::String::make("Apple"));
    set("modelnumber", nullptr);
    set("sourceModel", storedDefaultText("devicename"));
    set("osversion", Utility::osVersion());
    set("clientVer", Utility::clientVersion());
    set("MacAddress", nullptr);
    return client->insertTransaction(record)->flattenMap([uuid](const rt::Id& value) -> rt::Ref<es::Stream> {
        if (!statusIsOne(rt::cast<ns::Dictionary>(value))) return fail("the transaction was not inserted");
        ns::UserDefaults::standardUserDefaults()->setObjectForKey(uuid, "transcationuuid");
        return Signal::returnValue(uuid);
    });
}

// Step 8, on the application the login started on.
rt::Ref<Signal> showRootList(const rt::Ref<ui::Application>& application) {
    ns::UserDefaults::standardUserDefaults()->synchronize();
    auto storyboard = ui::Storyboard::storyboardWithName("Main");
    auto root = storyboard ? storyboard->instantiateInitialViewController() : nullptr;
    auto window = application->keyWindow();
    if (!root || !window) return fail("the test list cannot be shown");
    window->setRootViewControllerObject(root);
    return Signal::empty();
}

} // namespace

rt::Ref<LoginViewModel> LoginViewModel::make() {
    auto model = rt::make<LoginViewModel>();
    model->setUp();
    return model;
}

void LoginViewModel::setUp() {
    rt::Weak<LoginViewModel> weak(this);
    imeiObserver_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
        kReceiveimeiNotification, nullptr, nullptr, [weak](const rt::Ref<ns::Notification>& notification) {
            if (auto self = weak.lock()) self->receiveImei(notification);
        });
    auto enabled = Signal::combineLatestReduce(
        {es::valuesForKeyPath(rt::retained(this), "username", rt::retained(this)),
         es::valuesForKeyPath(rt::retained(this), "password", rt::retained(this))},
        [](const rt::Id& user, const rt::Id& password) -> rt::Id {
            return ns::Number::withBool(hasText(user) && hasText(password));
        });
    loginCommand_ = es::Command::withEnabledSignalBlock(enabled, [weak](const rt::Id&) -> rt::Ref<Signal> {
        auto self = weak.lock();
        return self ? self->loginSignal() : Signal::empty();
    });
}

LoginViewModel::~LoginViewModel() {
    ns::NotificationCenter::defaultCenter()->removeObserver(imeiObserver_);
}

void LoginViewModel::setUsername(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "username");
    username_ = std::move(v);
}

void LoginViewModel::setPassword(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "password");
    password_ = std::move(v);
}

void LoginViewModel::setImei(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "imei");
    imei_ = std::move(v);
}

void LoginViewModel::receiveImei(const rt::Ref<ns::Notification>&) {
    setImei(ns::UserDefaults::standardUserDefaults()->stringForKey("uniqueid"));
}

rt::Ref<ns::Error> LoginViewModel::stepError(const std::string& reason) {
    return ns::Error::make(ns::NSLocalizedString("LOGINVIEWCONTROLLER_WARNING"), 0,
                           ns::Dictionary::withPairs({{ns::String::make(ns::LocalizedFailureReasonErrorKey),
                                                       ns::String::make(reason)}}));
}

rt::Ref<Signal> LoginViewModel::identitySignal(const rt::Ref<ui::Application>& application,
                                               const rt::Ref<LoginModel>& login) {
    if (hasText(ns::UserDefaults::standardUserDefaults()->stringForKey("uniqueid"))) return Signal::returnValue(login);
    rt::Weak<LoginViewModel> weak(this);
    return Signal::createSignal([weak, application, login](
                                    const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) {
            subscriber->sendCompleted();
            return nullptr;
        }
        // Listen first, then open the page: the intake may come back at once.
        auto arrival = es::signalFor(self, "imei", self)->filter([](const rt::Id& v) { return hasText(v); })->take(1);
        auto disposable = arrival->mapReplace(login)->subscribe(subscriber);
        auto web = HttpClient::sharedHttpClient()->webserviceserver();
        auto page = ns::URL::URLWithString(ns::stringWithFormat("%@/api/udid?prefix=qx", web));
        ns::log("Login: no device identity stored, opening %@", page);
        if (page) application->openURL(page);
        return disposable;
    });
}

rt::Ref<Signal> LoginViewModel::loginSignal() {
    auto client = HttpClient::sharedHttpClient();
    const rt::Ref<ns::String> username = username_, password = password_;
    rt::Weak<LoginViewModel> weak(this);
    // Held by the login's steps, so that a reply handled late never reaches for an application
    // that has gone.
    const rt::Ref<ui::Application> application = ui::Application::sharedApplication();
    if (!application) return fail("there is no application to log in to");
    ns::log("%s%@", kLoggingInLogPrefix, username);
    return client->clientProfile()
        ->flattenMap(
            [client](const rt::Id& reply) -> rt::Ref<es::Stream> { return applyProfile(client, reply); })
        ->flattenMap([client, username, password](const rt::Id&) -> rt::Ref<es::Stream> {
            return client->authenticate(username, password)->flattenMap(
                [username](const rt::Id& reply) -> rt::Ref<es::Stream> { return storeLogin(username, reply); });
        })
        ->flattenMap([client](const rt::Id& value) -> rt::Ref<es::Stream> {
            auto login = rt::cast<LoginModel>(value);
            return client->featureSettings(login->company(), login->site())
                ->flattenMap([login](const rt::Id& reply) -> rt::Ref<es::Stream> { return storeFeatures(login, reply); });
        })
        ->flattenMap([](const rt::Id& login) -> rt::Ref<es::Stream> {
            return refreshDeviceTables(rt::cast<LoginModel>(login));
        })
        ->flattenMap([weak, application](const rt::Id& login) -> rt::Ref<es::Stream> {
            auto self = weak.lock();
            return self ? self->identitySignal(application, rt::cast<LoginModel>(login)) : Signal::empty();
        })
        ->flattenMap([client](const rt::Id& login) -> rt::Ref<es::Stream> {
            return insertTransaction(client, rt::cast<LoginModel>(login));
        })
        ->flattenMap(
            [application](const rt::Id&) -> rt::Ref<es::Stream> { return showRootList(application); });
}

} // namespace ft
