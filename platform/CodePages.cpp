#include "platform/CodePages.h"

#include <algorithm>

#include <cerrno>
#include <iconv.h>
#include <mutex>
#include <stdexcept>

namespace {

// One iconv descriptor, reset before each use and guarded for use from any thread.
class TConverter {
public:
    TConverter(const char* To, const char* From) : FCd(iconv_open(To, From)) {
        if (FCd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + From);
    }
    ~TConverter() { iconv_close(FCd); }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    bool Convert(std::string_view In, std::string& Out) {
        std::lock_guard lock(FMutex);
        iconv(FCd, nullptr, nullptr, nullptr, nullptr);
        std::string result(In.size() * 4 + 16, '\0');
        char* inPtr = const_cast<char*>(In.data());
        std::size_t inLeft = In.size();
        char* outPtr = result.data();
        std::size_t outLeft = result.size();
        while (inLeft > 0) {
            if (iconv(FCd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
                if (errno != E2BIG) return false;
                const std::size_t used = result.size() - outLeft;
                result.resize(result.size() * 2);
                outPtr = result.data() + used;
                outLeft = result.size() - used;
            }
        }
        result.resize(result.size() - outLeft);
        Out = std::move(result);
        return true;
    }

private:
    iconv_t FCd;
    std::mutex FMutex;
};

TConverter& ToUtf8(TCodePage From) {
    static TConverter oem("UTF-8", "CP437");
    static TConverter ansi("UTF-8", "CP1252");
    return From == TCodePage::Oem ? oem : ansi;
}

TConverter& FromUtf8(TCodePage To) {
    static TConverter oem("CP437", "UTF-8");
    static TConverter ansi("CP1252", "UTF-8");
    return To == TCodePage::Oem ? oem : ansi;
}

} // namespace

std::string CodePageToUtf8(std::string_view Text, TCodePage From) {
    // Both code pages keep ASCII as it is: most names need no converter.
    if (IsAsciiText(Text)) return std::string(Text);
    std::string out;
    if (ToUtf8(From).Convert(Text, out)) return out;
    // CP1252 leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D unassigned: take them as C1 controls.
    out.clear();
    for (unsigned char c : Text) {
        std::string one;
        if (ToUtf8(From).Convert(std::string_view(reinterpret_cast<const char*>(&c), 1), one)) {
            out += one;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool Utf8ToCodePage(std::string_view Text, TCodePage To, std::string& Out) {
    if (!IsValidUtf8(Text)) return false;
    return FromUtf8(To).Convert(Text, Out);
}

bool IsAsciiText(std::string_view Text) {
    return std::all_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; });
}

bool IsValidUtf8(std::string_view Text) {
    std::size_t i = 0;
    while (i < Text.size()) {
        const auto c = static_cast<unsigned char>(Text[i]);
        std::size_t len;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > Text.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(Text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        i += len;
    }
    return true;
}
