#include "platform/foundation/bundle.h"

#include <filesystem>
#include <system_error>

#include "platform/foundation/environment.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/property_list_json.h"
#include "platform/runtime/utf8.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace ns {

RT_DEFINE_CLASS(Bundle, "NSBundle", rt::Object)

namespace fs = std::filesystem;

namespace {

constexpr const char* kLanguages[] = {"en.lproj", "Base.lproj"};

std::mutex gMainLock;
std::optional<std::string> gMainPath;
rt::Ref<Bundle> gMain;
// Run settings (setInfoValueOverride); permanent objects.
rt::Ref<MutableDictionary> gInfoOverrides;

std::string toUTF8(std::u16string_view u) {
    std::string out;
    for (std::size_t i = 0; i < u.size(); ++i) {
        char32_t c = u[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        }
        rt::appendUTF8(out, c); // a lone surrogate becomes U+FFFD
    }
    return out;
}

// The file's text as UTF-16 units: UTF-16 with a byte-order mark, else UTF-8 (with or without one).
std::u16string decodeText(std::string_view bytes) {
    auto unit = [&](std::size_t i, bool little) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(little ? (a | (b << 8)) : ((a << 8) | b));
    };
    if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        std::u16string out;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            out.push_back(unit(i, little));
        return out;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return String::make(bytes)->utf16();
}

class StringsParser {
public:
    explicit StringsParser(std::u16string text) : s_(std::move(text)) {}

    std::optional<std::map<std::string, std::string>> parse(std::string* error) {
        std::map<std::string, std::string> out;
        for (;;) {
            if (!skip()) return failed(error);
            if (pos_ >= s_.size()) return out;
            std::u16string key, value;
            if (!token(key) || !skip()) return failed(error);
            if (peek() == u';') {
                value = key;
            } else {
                if (peek() != u'=') return failed(error, "expected '=' or ';'");
                ++pos_;
                if (!skip() || !token(value) || !skip()) return failed(error);
                if (peek() != u';') return failed(error, "expected ';'");
            }
            ++pos_;
            out[toUTF8(key)] = toUTF8(value);
        }
    }

private:
    char16_t peek() const { return pos_ < s_.size() ? s_[pos_] : u'\0'; }

    std::nullopt_t failed(std::string* error, const char* message = nullptr) {
        if (message && message_.empty()) message_ = message;
        if (error) {
            std::size_t line = 1;
            for (std::size_t i = 0; i < pos_ && i < s_.size(); ++i)
                line += s_[i] == u'\n';
            *error = message_ + " on line " + std::to_string(line);
        }
        return std::nullopt;
    }

    // White space and comments.
    bool skip() {
        while (pos_ < s_.size()) {
            const char16_t c = s_[pos_];
            if (c <= u' ' || c == 0xFEFF || c == 0x2028 || c == 0x2029 || c == 0xA0) {
                ++pos_;
            } else if (c == u'/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == u'*') {
                const std::size_t end = s_.find(u"*/", pos_ + 2);
                if (end == std::u16string::npos) {
                    message_ = "unterminated comment";
                    return false;
                }
                pos_ = end + 2;
            } else if (c == u'/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == u'/') {
                while (pos_ < s_.size() && s_[pos_] != u'\n')
                    ++pos_;
            } else {
                break;
            }
        }
        return true;
    }

    static bool isBare(char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || c == u'$' || c == u'+' || c == u'/' || c == u':' || c == u'.' || c == u'-';
    }

    static int hexValue(char16_t c) {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    }

    bool token(std::u16string& out) {
        if (peek() != u'"') {
            while (pos_ < s_.size() && isBare(s_[pos_]))
                out.push_back(s_[pos_++]);
            if (out.empty()) message_ = "expected a string";
            return !out.empty();
        }
        ++pos_;
        while (pos_ < s_.size()) {
            const char16_t c = s_[pos_++];
            if (c == u'"') return true;
            if (c != u'\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= s_.size()) break;
            const char16_t e = s_[pos_++];
            switch (e) {
            case u'n':
                out.push_back(u'\n');
                break;
            case u't':
                out.push_back(u'\t');
                break;
            case u'r':
                out.push_back(u'\r');
                break;
            case u'a':
                out.push_back(u'\a');
                break;
            case u'b':
                out.push_back(u'\b');
                break;
            case u'f':
                out.push_back(u'\f');
                break;
            case u'v':
                out.push_back(u'\v');
                break;
            case u'U':
            case u'u': {
                int v = 0, n = 0;
                for (; n < 4 && pos_ < s_.size() && hexValue(s_[pos_]) >= 0; ++n)
                    v = v * 16 + hexValue(s_[pos_++]);
                if (n == 0) {
                    message_ = "bad \\U escape";
                    return false;
                }
                out.push_back(static_cast<char16_t>(v));
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    int v = e - u'0';
                    for (int n = 1; n < 3 && pos_ < s_.size() && s_[pos_] >= u'0' && s_[pos_] <= u'7'; ++n)
                        v = v * 8 + (s_[pos_++] - u'0');
                    out.push_back(static_cast<char16_t>(v));
                } else {
                    out.push_back(e); // \" \\ \' and any other character stand for themselves
                }
            }
        }
        message_ = "unterminated string";
        return false;
    }

    std::u16string s_;
    std::size_t pos_ = 0;
    std::string message_;
};

rt::Ref<Dictionary> readInfo(const std::string& root) {
    const std::string file = (fs::path(root) / "Info.json").string();
    std::error_code ec;
    if (!fs::exists(file, ec)) return Dictionary::make();
    rt::Ref<Error> error;
    rt::Ref<Data> data = readFile(file, &error);
    std::string message;
    rt::Ref<Dictionary> info;
    if (data) info = rt::cast<Dictionary>(detail::decodePropertyListJSON(data->view(), &message));
    if (!info) {
        logLine("Bundle: cannot read " + file + ": " +
                (error             ? error->localizedDescription()->utf8()
                 : message.empty() ? "not an object"
                                   : message));
        return Dictionary::make();
    }
    return info;
}

} // namespace

Bundle::Bundle(std::string path) : path_(std::move(path)), info_(readInfo(path_)) {}

std::string Bundle::defaultMainBundlePath() {
    if (auto env = environmentValue("FT_BUNDLE_PATH"); env && !env->empty()) return *env;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path candidate = (exe.parent_path() / ".." / "resources").lexically_normal();
        if (fs::is_directory(candidate, ec)) return candidate.string();
    }
    fs::path local = fs::absolute("resources", ec);
    return ec ? std::string("resources") : local.lexically_normal().string();
}

rt::Ref<Bundle> Bundle::mainBundle() {
    std::lock_guard g(gMainLock);
    if (!gMain) {
        std::string path = gMainPath ? *gMainPath : defaultMainBundlePath();
        rt::PermanentScope permanent;
        gMain = rt::make<Bundle>(std::move(path));
    }
    return gMain;
}

void Bundle::setMainBundlePath(std::string path) {
    rt::Ref<Bundle> old;
    std::lock_guard g(gMainLock);
    if (path.empty())
        gMainPath.reset();
    else
        gMainPath = std::move(path);
    old = std::move(gMain);
}

rt::Ref<Bundle> Bundle::bundleWithPath(std::string_view path) {
    std::error_code ec;
    if (!fs::is_directory(fs::path(path), ec)) return nullptr;
    return rt::make<Bundle>(std::string(path));
}

rt::Ref<String> Bundle::bundleIdentifier() const {
    return rt::cast<String>(info_->objectForKey("CFBundleIdentifier"));
}

void Bundle::setInfoValueOverride(std::string_view key, std::string_view value) {
    rt::PermanentScope permanent; // run settings are not the live objects of a test
    std::lock_guard g(gMainLock);
    if (!gInfoOverrides) gInfoOverrides = MutableDictionary::make();
    gInfoOverrides->setObjectForKey(String::make(value), key);
}

void Bundle::removeInfoValueOverride(std::string_view key) {
    std::lock_guard g(gMainLock);
    if (gInfoOverrides) gInfoOverrides->removeObjectForKey(key);
}

void Bundle::removeAllInfoValueOverrides() {
    std::lock_guard g(gMainLock);
    if (gInfoOverrides) gInfoOverrides->removeAllObjects();
}

rt::Ref<Dictionary> Bundle::infoDictionary() const {
    std::lock_guard g(gMainLock);
    if (this != gMain.get() || !gInfoOverrides || gInfoOverrides->isEmpty()) return info_;
    auto merged = info_->mutableCopy();
    merged->addEntriesFromDictionary(*gInfoOverrides);
    return merged;
}

rt::Id Bundle::objectForInfoDictionaryKey(std::string_view key) const {
    {
        std::lock_guard g(gMainLock);
        if (this == gMain.get() && gInfoOverrides)
            if (rt::Id value = gInfoOverrides->objectForKey(key)) return value;
    }
    return info_->objectForKey(key);
}

std::optional<std::map<std::string, std::string>> Bundle::parseStringsFile(std::string_view bytes,
                                                                           std::string* error) {
    return StringsParser(decodeText(bytes)).parse(error);
}

const std::map<std::string, std::string>& Bundle::table(std::string_view name) const {
    if (auto it = tables_.find(name); it != tables_.end()) return it->second;
    std::map<std::string, std::string> merged;
    const std::string file = std::string(name) + ".strings";
    // Earlier places win: en.lproj, Base.lproj, the root.
    for (const fs::path& p : {fs::path(path_) / kLanguages[0] / file, fs::path(path_) / kLanguages[1] / file,
                              fs::path(path_) / file}) {
        std::error_code ec;
        if (!fs::is_regular_file(p, ec)) continue;
        rt::Ref<Error> readError;
        rt::Ref<Data> data = readFile(p.string(), &readError);
        std::string message;
        auto entries = data ? parseStringsFile(data->view(), &message) : std::nullopt;
        if (!entries) {
            logLine("Bundle: cannot read " + p.string() + ": " +
                    (readError ? readError->localizedDescription()->utf8() : message));
            continue;
        }
        merged.merge(*entries); // keeps the entries already there
    }
    return tables_.emplace(std::string(name), std::move(merged)).first->second;
}

rt::Ref<String> Bundle::localizedStringForKey(std::string_view key, std::string_view value,
                                              std::string_view table) const {
    {
        std::lock_guard g(lock_);
        const auto& entries = this->table(table.empty() ? std::string_view("Localizable") : table);
        if (auto it = entries.find(std::string(key)); it != entries.end()) return String::make(it->second);
    }
    return String::make(value.empty() ? key : value);
}

rt::Ref<String> Bundle::pathForResourceOfType(std::string_view name, std::string_view type,
                                              std::string_view directory) const {
    if (name.empty()) return nullptr;
    if (!type.empty() && type.front() == '.') type.remove_prefix(1);
    const std::string file = type.empty() ? std::string(name) : std::string(name) + "." + std::string(type);
    const fs::path base = fs::path(path_) / fs::path(directory);
    for (const fs::path& p : {base / file, base / kLanguages[0] / file, base / kLanguages[1] / file}) {
        std::error_code ec;
        if (fs::exists(p, ec)) return String::make(p.lexically_normal().string());
    }
    return nullptr;
}

rt::Ref<Data> Bundle::dataForResource(std::string_view name, std::string_view type) const {
    rt::Ref<String> path = pathForResourceOfType(name, type);
    return path ? readFile(path->utf8()) : nullptr;
}

std::string Bundle::description() const {
    return "NSBundle <" + path_ + "> (loaded)";
}

rt::Ref<String> NSLocalizedString(std::string_view key, std::string_view) {
    return Bundle::mainBundle()->localizedStringForKey(key);
}

} // namespace ns
