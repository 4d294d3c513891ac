#pragma once
// ns::URL: an immutable URL reference (RFC 3986): a string checked when it is made, and its parts.
// A string with characters a URL may not hold (spaces, non-ASCII, "<", "{", a stray "%"), a second
// "#", brackets outside the host or a port that is not a number up to 65535 makes no URL at all.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "platform/runtime/object.h"

namespace ns {

class URL : public rt::Object {
    RT_CLASS(URL)
public:
    // Nil for a string that is not a valid URL (and for the empty string).
    static rt::Ref<URL> URLWithString(std::string_view string);
    static rt::Ref<URL> URLWithString(const rt::Ref<String>& string);
    // "file://" and the path, percent-encoded where a path needs it. A relative path is taken from
    // the current directory; a path naming a directory on disk gets a trailing "/".
    static rt::Ref<URL> fileURLWithPath(std::string_view path);
    static rt::Ref<URL> fileURLWithPath(std::string_view path, bool isDirectory);

    rt::Ref<String> absoluteString() const;
    const std::string& string() const noexcept { return string_; }
    // The parts; nil when the URL has none. scheme, query and fragment are as written; host, user,
    // password and path are percent-decoded (nil when that does not give UTF-8). The path loses a
    // trailing "/" (except the root) and is empty, not nil, for "http://host".
    rt::Ref<String> scheme() const;
    rt::Ref<String> user() const;
    rt::Ref<String> password() const;
    rt::Ref<String> host() const; // an IPv6 literal without its brackets
    rt::Ref<Number> port() const;
    rt::Ref<String> path() const;
    rt::Ref<String> query() const;
    rt::Ref<String> fragment() const;
    bool isFileURL() const;
    // The path with "/" and the component (percent-encoded) added, before any query or fragment.
    rt::Ref<URL> URLByAppendingPathComponent(std::string_view component) const;

    // The URL string.
    std::string description() const override { return string_; }
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    // Positions of a part within string_; `present` false when the URL lacks it.
    struct Part {
        std::size_t begin = 0, end = 0;
        bool present = false;
        std::string_view in(const std::string& s) const {
            return std::string_view(s).substr(begin, end - begin);
        }
    };

    URL() = default;
    static bool parse(std::string s, URL& into);
    rt::Ref<String> raw(const Part& part) const;
    rt::Ref<String> decoded(const Part& part) const;

    std::string string_;
    Part scheme_, user_, password_, host_, port_, path_, query_, fragment_;
};

} // namespace ns
