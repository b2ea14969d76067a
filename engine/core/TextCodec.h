#pragma once
// Conversion between a table's code page and UTF-8 (the engine's edge: everything above the
// drivers is UTF-8). Backed by iconv.
#include <memory>
#include <string>
#include <string_view>

namespace kx4 {

class TextCodec {
  public:
    // A Windows/DOS code page number (437, 850, 852, 1250, 1252, 936, ..., 65001 for UTF-8).
    // 0 means the engine's default, 1252.
    explicit TextCodec(int codePage);
    ~TextCodec();
    TextCodec(const TextCodec&) = delete;
    TextCodec& operator=(const TextCodec&) = delete;

    int codePage() const { return codePage_; }
    // Bytes that cannot be decoded become U+FFFD; never fails.
    std::string toUtf8(std::string_view bytes) const;
    // Raises EDBEngineError (DBIERR_INVALIDFLDXFORM) naming the character that the code page
    // cannot hold.
    std::string fromUtf8(std::string_view utf8) const;
    // True when every character of `utf8` exists in the code page.
    bool canEncode(std::string_view utf8) const;

    static bool isSupported(int codePage);
    // The code page a setting names: a number ("850") or "UTF-8"/"UTF8" (65001); 0 when the
    // text names none this system can convert.
    static int codePageOfSetting(const std::string& text);
    // "866", or "UTF-8" for 65001.
    static std::string nameOf(int codePage);

  private:
    struct Impl;
    int codePage_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kx4
