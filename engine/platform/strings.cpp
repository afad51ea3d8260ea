// UTF-8 / UTF-16 conversion and the engine's printf-style formatting.
#include "platform/strings.h"

#include <cstdint>
#include <cstdio>

namespace pyxol {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;  // a lone surrogate has no UTF-8 form
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        unsigned length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2, c = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3, c = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4, c = b & 0x07, minimum = 0x10000;
        } else {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        bool ok = i + length <= n;
        for (unsigned k = 1; ok && k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (!ok || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += length;
    }
    return out;
}

std::u16string FromLatin1(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) out += static_cast<char16_t>(b);
    return out;
}

std::u16string FormatU16V(const char16_t* pattern, va_list args) {
    std::u16string out;
    if (!pattern) return out;
    for (const char16_t* p = pattern; *p; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        const char16_t* start = p;
        ++p;
        if (*p == u'%') {
            out += u'%';
            continue;
        }
        bool isLong = false;
        if (*p == u'l') {
            isLong = true;
            ++p;
        }
        char digits[16];
        switch (*p) {
        case u's': {
            const char16_t* s = va_arg(args, const char16_t*);
            if (s) out += s;
            break;
        }
        case u'u':
            // %lu carries a 32-bit value as well, as the engine's callers pass it.
            std::snprintf(digits, sizeof digits, "%u", va_arg(args, unsigned));
            for (const char* d = digits; *d; ++d) out += static_cast<char16_t>(*d);
            break;
        case u'd':
            std::snprintf(digits, sizeof digits, "%d", va_arg(args, int));
            for (const char* d = digits; *d; ++d) out += static_cast<char16_t>(*d);
            break;
        default:
            // Unknown conversion: copy it as written and consume nothing.
            if (!*p) {
                out.append(start, p);
                return out;
            }
            out.append(start, p + 1);
            break;
        }
        (void)isLong;
    }
    return out;
}

std::u16string FormatU16(const char16_t* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::u16string out = FormatU16V(pattern, args);
    va_end(args);
    return out;
}

}  // namespace pyxol
