#include "platform/foundation/url_request.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(URLRequest, "NSURLRequest", rt::Object)
RT_DEFINE_CLASS(MutableURLRequest, "NSMutableURLRequest", URLRequest)
RT_DEFINE_CLASS(URLResponse, "NSURLResponse", rt::Object)
RT_DEFINE_CLASS(HTTPURLResponse, "NSHTTPURLResponse", URLResponse)

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lower(c);
    return out;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

// "content-TYPE" -> "Content-Type".
std::string canonicalName(std::string_view name) {
    std::string out(name);
    bool start = true;
    for (char& c : out) {
        c = start && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : (start ? c : lower(c));
        start = c == '-';
    }
    return out;
}

std::string addressOf(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

} // namespace

// URLRequest

rt::Ref<URLRequest> URLRequest::requestWithURL(rt::Ref<ns::URL> url, TimeInterval timeoutInterval) {
    auto r = rt::make<URLRequest>();
    r->url_ = std::move(url);
    r->timeout_ = timeoutInterval;
    return r;
}

rt::Ref<URLRequest> URLRequest::requestWithURL(rt::Ref<ns::URL> url, URLRequestCachePolicy cachePolicy,
                                               TimeInterval timeoutInterval) {
    auto r = requestWithURL(std::move(url), timeoutInterval);
    r->cachePolicy_ = cachePolicy;
    return r;
}

std::size_t URLRequest::find(std::string_view name) const {
    for (std::size_t i = 0; i < headers_.size(); ++i)
        if (equalsIgnoringASCIICase(headers_[i].first, name)) return i;
    return headers_.size();
}

rt::Ref<Dictionary> URLRequest::allHTTPHeaderFields() const {
    if (headers_.empty()) return nullptr;
    auto d = MutableDictionary::withCapacity(headers_.size());
    for (auto& [name, value] : headers_)
        d->setObjectForKey(String::make(value), std::string_view(name));
    return rt::downcast<Dictionary>(d->copy());
}

rt::Ref<String> URLRequest::valueForHTTPHeaderField(std::string_view name) const {
    std::size_t i = find(name);
    if (i == headers_.size()) return nullptr;
    return String::make(headers_[i].second);
}

void URLRequest::copyFrom(const URLRequest& from) {
    url_ = from.url_;
    method_ = from.method_;
    headers_ = from.headers_;
    body_ = from.body_;
    timeout_ = from.timeout_;
    cachePolicy_ = from.cachePolicy_;
    maximumBodyLength_ = from.maximumBodyLength_;
}

rt::Ref<MutableURLRequest> URLRequest::mutableCopy() const {
    auto r = rt::make<MutableURLRequest>();
    r->copyFrom(*this);
    return r;
}

rt::Ref<URLRequest> URLRequest::immutableCopy(const URLRequest& from) {
    auto r = rt::make<URLRequest>();
    r->copyFrom(from);
    return r;
}

std::string URLRequest::description() const {
    return "<" + std::string(getClass().name()) + ": " + addressOf(this) +
           "> { URL: " + (url_ ? url_->string() : "(null)") + " }";
}

bool URLRequest::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* r = dynamic_cast<const URLRequest*>(other);
    if (!r || !rt::equal(url_.get(), r->url_.get()) || method_ != r->method_ || timeout_ != r->timeout_ ||
        maximumBodyLength_ != r->maximumBodyLength_ || !rt::equal(body_.get(), r->body_.get()) ||
        headers_.size() != r->headers_.size())
        return false;
    for (auto& [name, value] : headers_) {
        std::size_t i = r->find(name);
        if (i == r->headers_.size() || r->headers_[i].second != value) return false;
    }
    return true;
}

std::size_t URLRequest::hash() const {
    return url_ ? url_->hash() : 0;
}

// MutableURLRequest

rt::Ref<MutableURLRequest> MutableURLRequest::requestWithURL(rt::Ref<ns::URL> url,
                                                             TimeInterval timeoutInterval) {
    auto r = rt::make<MutableURLRequest>();
    r->url_ = std::move(url);
    r->timeout_ = timeoutInterval;
    return r;
}

void MutableURLRequest::setHTTPMethod(std::string_view method) {
    method_ = method.empty() ? std::string("GET") : std::string(method);
}

void MutableURLRequest::setValueForHTTPHeaderField(const rt::Ref<String>& value, std::string_view name) {
    std::size_t i = find(name);
    if (!value) {
        if (i != headers_.size()) headers_.erase(headers_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
    if (i == headers_.size())
        headers_.emplace_back(std::string(name), value->utf8());
    else
        headers_[i].second = value->utf8();
}

void MutableURLRequest::setValueForHTTPHeaderField(std::string_view value, std::string_view name) {
    setValueForHTTPHeaderField(String::make(value), name);
}

void MutableURLRequest::addValueForHTTPHeaderField(std::string_view value, std::string_view name) {
    std::size_t i = find(name);
    if (i == headers_.size()) {
        headers_.emplace_back(std::string(name), std::string(value));
    } else {
        headers_[i].second += ",";
        headers_[i].second += value;
    }
}

void MutableURLRequest::setAllHTTPHeaderFields(const rt::Ref<Dictionary>& fields) {
    headers_.clear();
    if (!fields) return;
    for (auto [key, value] : *fields) {
        auto* k = dynamic_cast<const String*>(key.get());
        auto* v = dynamic_cast<const String*>(value.get());
        if (k && v) setValueForHTTPHeaderField(rt::retained(v), k->utf8());
    }
}

void MutableURLRequest::setHTTPBody(const rt::Ref<Data>& body) {
    body_ = body ? rt::downcast<Data>(body->copy()) : nullptr;
}

rt::Id MutableURLRequest::copy() const {
    return immutableCopy(*this);
}

// URLResponse

rt::Ref<URLResponse> URLResponse::make(rt::Ref<ns::URL> url, std::string_view mimeType,
                                       long long expectedContentLength, std::string_view textEncodingName) {
    auto r = rt::make<URLResponse>();
    r->url_ = std::move(url);
    if (!mimeType.empty()) r->mimeType_ = String::make(mimeType);
    r->expectedLength_ = expectedContentLength < 0 ? UnknownLength : expectedContentLength;
    if (!textEncodingName.empty()) r->encoding_ = String::make(textEncodingName);
    return r;
}

std::string URLResponse::description() const {
    return "<" + std::string(getClass().name()) + ": " + addressOf(this) +
           "> { URL: " + (url_ ? url_->string() : "(null)") + " }";
}

// HTTPURLResponse

struct HTTPURLResponse::Fields {
    rt::Ref<Dictionary> headers;
    rt::Ref<String> mimeType;
    rt::Ref<String> encoding;
    long long expectedLength = UnknownLength;
};

rt::Ref<HTTPURLResponse> HTTPURLResponse::make(rt::Ref<ns::URL> url, long statusCode,
                                               std::string_view httpVersion, HTTPHeaderFields headerFields) {
    auto r = rt::make<HTTPURLResponse>();
    r->url_ = std::move(url);
    r->statusCode_ = statusCode;
    r->version_ = std::string(httpVersion);
    r->raw_ = std::move(headerFields);
    return r;
}

HTTPURLResponse::~HTTPURLResponse() {
    delete fields_.load(std::memory_order_acquire);
}

const HTTPURLResponse::Fields& HTTPURLResponse::fields() const {
    if (const Fields* f = fields_.load(std::memory_order_acquire)) return *f;

    auto made = std::make_unique<Fields>();
    HTTPHeaderFields merged;
    for (auto& [name, value] : raw_) {
        std::string canonical = canonicalName(trimmed(name));
        auto it = std::find_if(merged.begin(), merged.end(), [&](auto& f) { return f.first == canonical; });
        if (it == merged.end())
            merged.emplace_back(std::move(canonical), trimmed(value));
        else
            it->second += ", " + trimmed(value);
    }
    auto headers = MutableDictionary::withCapacity(merged.size());
    for (auto& [name, value] : merged) {
        headers->setObjectForKey(String::make(value), std::string_view(name));
        if (name == "Content-Type") {
            // type/subtype; parameters, of which charset=...
            std::string_view v = value;
            std::size_t semi = v.find(';');
            made->mimeType = String::make(lowered(trimmed(v.substr(0, semi))));
            while (semi != std::string_view::npos) {
                std::size_t next = v.find(';', semi + 1);
                std::string param =
                    trimmed(v.substr(semi + 1, next == std::string_view::npos ? v.npos : next - semi - 1));
                std::size_t eq = param.find('=');
                if (eq != std::string::npos && equalsIgnoringASCIICase(trimmed(param.substr(0, eq)), "charset")) {
                    std::string cs = trimmed(std::string_view(param).substr(eq + 1));
                    if (cs.size() >= 2 && cs.front() == '"' && cs.back() == '"')
                        cs = cs.substr(1, cs.size() - 2);
                    if (!cs.empty()) made->encoding = String::make(lowered(cs));
                }
                semi = next;
            }
        } else if (name == "Content-Length") {
            long long n = 0;
            bool digits = !value.empty();
            for (char c : value) {
                if (c < '0' || c > '9' || n > (1LL << 60)) {
                    digits = false;
                    break;
                }
                n = n * 10 + (c - '0');
            }
            if (digits) made->expectedLength = n;
        }
    }
    made->headers = rt::downcast<Dictionary>(headers->copy());

    const Fields* expected = nullptr;
    if (fields_.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel,
                                        std::memory_order_acquire))
        return *made.release();
    return *expected; // another thread built them first
}

const rt::Ref<Dictionary>& HTTPURLResponse::allHeaderFields() const {
    return fields().headers;
}

const rt::Ref<String>& HTTPURLResponse::MIMEType() const {
    return fields().mimeType;
}

long long HTTPURLResponse::expectedContentLength() const {
    return fields().expectedLength;
}

const rt::Ref<String>& HTTPURLResponse::textEncodingName() const {
    return fields().encoding;
}

rt::Ref<String> HTTPURLResponse::valueForHTTPHeaderField(std::string_view name) const {
    rt::Id v = fields().headers->objectForKey(canonicalName(name));
    return rt::Ref<String>(dynamic_cast<String*>(v.get()));
}

std::string HTTPURLResponse::description() const {
    return "<" + std::string(getClass().name()) + ": " + addressOf(this) +
           "> { URL: " + (url_ ? url_->string() : "(null)") + " } { Status Code: " + std::to_string(statusCode_) +
           ", Headers " + fields().headers->description() + " }";
}

} // namespace ns
