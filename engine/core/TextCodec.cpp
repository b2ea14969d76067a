#include "engine/core/TextCodec.h"

#include <iconv.h>

#include <cerrno>
#include <charconv>
#include <mutex>
#include <vector>

#include "engine/core/Errors.h"

namespace kx4 {

namespace {

constexpr int kDefaultCodePage = 1252;
constexpr int kUtf8CodePage = 65001;

// iconv names to try for a code page number, most specific first.
std::vector<std::string> iconvNames(int codePage) {
    if (codePage == kUtf8CodePage) return {"UTF-8"};
    const std::string n = std::to_string(codePage);
    return {"CP" + n, "IBM" + n, "WINDOWS-" + n};
}

iconv_t openConverter(const std::string& to, const std::string& from) {
    return iconv_open(to.c_str(), from.c_str());
}

std::string findName(int codePage) {
    for (const auto& name : iconvNames(codePage)) {
        iconv_t cd = openConverter("UTF-8", name);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
            return name;
        }
    }
    return {};
}

}  // namespace

struct TextCodec::Impl {
    std::string name;
    iconv_t decode = reinterpret_cast<iconv_t>(-1);
    iconv_t encode = reinterpret_cast<iconv_t>(-1);
    std::mutex mutex;  // iconv descriptors carry state

    ~Impl() {
        if (decode != reinterpret_cast<iconv_t>(-1)) iconv_close(decode);
        if (encode != reinterpret_cast<iconv_t>(-1)) iconv_close(encode);
    }
};

bool TextCodec::isSupported(int codePage) { return !findName(codePage).empty(); }

int TextCodec::codePageOfSetting(const std::string& text) {
    if (text == "UTF-8" || text == "UTF8" || text == "utf-8" || text == "utf8")
        return kUtf8CodePage;
    int codePage = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), codePage);
    if (error != std::errc() || end != text.data() + text.size() || codePage <= 0) return 0;
    return isSupported(codePage) ? codePage : 0;
}

std::string TextCodec::nameOf(int codePage) {
    return codePage == kUtf8CodePage ? "UTF-8" : std::to_string(codePage);
}

TextCodec::TextCodec(int codePage)
    : codePage_(codePage == 0 ? kDefaultCodePage : codePage), impl_(std::make_unique<Impl>()) {
    impl_->name = findName(codePage_);
    if (impl_->name.empty()) {
        codePage_ = kDefaultCodePage;
        impl_->name = findName(codePage_);
    }
    impl_->decode = openConverter("UTF-8", impl_->name);
    impl_->encode = openConverter(impl_->name, "UTF-8");
}

TextCodec::~TextCodec() = default;

std::string TextCodec::toUtf8(std::string_view bytes) const {
    std::lock_guard lock(impl_->mutex);
    std::string out;
    out.reserve(bytes.size() * 2);
    iconv(impl_->decode, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(impl_->decode, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte the code page does not define
            ++in;
            --inLeft;
        }
    }
    return out;
}

std::string TextCodec::fromUtf8(std::string_view utf8) const {
    std::lock_guard lock(impl_->mutex);
    std::string out;
    out.reserve(utf8.size());
    iconv(impl_->encode, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(impl_->encode, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            const std::size_t at = utf8.size() - inLeft;
            std::size_t len = 1;
            while (at + len < utf8.size() &&
                   (static_cast<unsigned char>(utf8[at + len]) & 0xC0) == 0x80)
                ++len;
            throwEngineError(DBIERR_INVALIDFLDXFORM,
                             "The character '" + std::string(utf8.substr(at, len)) +
                                 "' cannot be stored in code page " + std::to_string(codePage_));
        }
    }
    return out;
}

bool TextCodec::canEncode(std::string_view utf8) const {
    try {
        fromUtf8(utf8);
        return true;
    } catch (const EDBEngineError&) {
        return false;
    }
}

}  // namespace kx4
