#include "util/TextEncoding.h"

#include <windows.h>
#include <cwctype>
#include <cstring>
#include <cwchar>
#include <cstdio>

namespace {

std::wstring MultiByteToText(UINT codePage, const char* bytes, int count) {
    if (count <= 0) return std::wstring();
    int n = ::MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, bytes, count, &out[0], n);
    return out;
}

std::string TextToMultiByte(UINT codePage, const wchar_t* text, int count) {
    if (count <= 0) return std::string();
    int n = ::WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) ::WideCharToMultiByte(codePage, 0, text, count, &out[0], n, nullptr, nullptr);
    return out;
}

const char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The well-formed sequence of a character that starts at p with a byte of
// 0x80 or above: its length and code point; false when it is not one (a
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut).
bool WellFormedSequence(const unsigned char* p, const unsigned char* end, size_t* length, uint32_t* codePoint = nullptr) {
    unsigned c = *p;
    size_t more;
    uint32_t point;
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        point = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        point = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        point = c & 0x07;
    } else {
        return false;
    }
    if (static_cast<size_t>(end - p) <= more) return false;
    for (size_t i = 1; i <= more; ++i) {
        unsigned next = p[i];
        if ((next & 0xC0) != 0x80) return false;
        point = (point << 6) | (next & 0x3F);
    }
    if ((more == 2 && point < 0x800) || (more == 3 && (point < 0x10000 || point > 0x10FFFF)) ||
        (point >= 0xD800 && point <= 0xDFFF)) {
        return false;
    }
    *length = more + 1;
    if (codePoint) *codePoint = point;
    return true;
}

// Decodes count bytes of UTF-8 in one pass when they are well-formed and hold
// no zero byte (IsWellFormedUtf8): then every decoder gives the same text.
// False at the first byte that breaks this (*out is then unspecified).
bool DecodeWellFormedUtf8(const char* bytes, size_t count, std::wstring* out) {
    out->resize(count);  // a UTF-8 byte never gives more than one UTF-16 unit
    if (count == 0) return true;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = p + count;
    wchar_t* o = &(*out)[0];
    wchar_t* const start = o;
    while (p < end) {
        unsigned c = *p;
        if (c < 0x80) {
            if (c == 0) return false;
            *o++ = static_cast<wchar_t>(c);
            ++p;
            continue;
        }
        size_t length = 0;
        uint32_t point = 0;
        if (!WellFormedSequence(p, end, &length, &point)) return false;
        if (point >= 0x10000) {
            point -= 0x10000;
            *o++ = static_cast<wchar_t>(0xD800 + (point >> 10));
            *o++ = static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
        } else {
            *o++ = static_cast<wchar_t>(point);
        }
        p += length;
    }
    out->resize(static_cast<size_t>(o - start));
    return true;
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::wstring TrimWhiteSpace(const std::wstring& s) {
    size_t end = s.size();
    while (end > 0 && IsWhiteSpace(s[end - 1])) --end;
    size_t start = 0;
    while (start < end && IsWhiteSpace(s[start])) ++start;
    return s.substr(start, end - start);
}

std::string TextToAnsi(const std::wstring& text) {
    return TextToMultiByte(CP_THREAD_ACP, text.data(), static_cast<int>(text.size()));
}

std::wstring AnsiToText(const std::string& bytes) {
    return MultiByteToText(CP_THREAD_ACP, bytes.data(), static_cast<int>(bytes.size()));
}

bool TextToAnsiExact(const std::wstring& text, std::string* out) {
    // The way back gives the text itself only when no character was replaced
    // by the default one or by a look-alike ("best fit").
    std::string bytes = TextToAnsi(text);
    if (AnsiToText(bytes) != text) return false;
    *out = std::move(bytes);
    return true;
}

int Base64EncodedLength(int n) {
    if (n < 0 || n >= (1 << 29)) return -1;
    return 4 * ((n + 2) / 3);
}

bool Base64Encode(const unsigned char* data, int count, char* out, int* length) {
    if (!data || !out || !length) return false;
    int needed = Base64EncodedLength(count);
    if (needed < 0 || *length < needed) return false;
    int o = 0;
    int i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned b0 = data[i], b1 = data[i + 1], b2 = data[i + 2];
        out[o++] = kBase64Alphabet[b0 >> 2];
        out[o++] = kBase64Alphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
        out[o++] = kBase64Alphabet[((b1 & 0x0F) << 2) | (b2 >> 6)];
        out[o++] = kBase64Alphabet[b2 & 0x3F];
    }
    int left = count - i;
    if (left == 1) {
        unsigned b0 = data[i];
        out[o++] = kBase64Alphabet[b0 >> 2];
        out[o++] = kBase64Alphabet[(b0 & 0x03) << 4];
        out[o++] = '=';
        out[o++] = '=';
    } else if (left == 2) {
        unsigned b0 = data[i], b1 = data[i + 1];
        out[o++] = kBase64Alphabet[b0 >> 2];
        out[o++] = kBase64Alphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
        out[o++] = kBase64Alphabet[(b1 & 0x0F) << 2];
        out[o++] = '=';
    }
    *length = o;
    return true;
}

std::string Base64EncodeBytes(const std::string& bytes) {
    static const unsigned char kNone = 0;
    int count = static_cast<int>(bytes.size());
    int length = Base64EncodedLength(count);
    if (length <= 0) return std::string();
    std::string out(length, '\0');
    const unsigned char* data =
        bytes.empty() ? &kNone : reinterpret_cast<const unsigned char*>(bytes.data());
    if (!Base64Encode(data, count, &out[0], &length)) return std::string();
    out.resize(length);
    return out;
}

bool IsUtf8Text(const unsigned char* bytes, int count) {
    if (!bytes || count <= 0) return false;
    int expected = 0;
    bool allAscii = true;
    for (int i = 0; i < count; ++i) {
        unsigned char c = bytes[i];
        if (c >= 0x80) allAscii = false;
        if (expected > 0) {
            if ((c & 0xC0) != 0x80) return false;
            --expected;
            continue;
        }
        if (c < 0x80) continue;
        if (c == 0xFC || c == 0xFD) expected = 5;
        else if (c >= 0xF8) expected = 4;  // F8..FB, and FE, FF
        else if (c >= 0xF0) expected = 3;
        else if (c >= 0xE0) expected = 2;
        else if (c >= 0xC0) expected = 1;
        else return false;  // a continuation byte where none is expected
    }
    return expected == 0 && !allAscii;
}

bool IsUtf8Text(const std::string& bytes) {
    return IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
}

bool Utf8ToText(const char* utf8, std::wstring* out) {
    if (!utf8 || !out) return false;
    *out = Utf8BytesToText(utf8, std::strlen(utf8));
    return true;
}

std::wstring Utf8BytesToText(const char* bytes, size_t count) {
    std::wstring text;
    if (DecodeWellFormedUtf8(bytes, count, &text)) return text;
    const void* zero = std::memchr(bytes, 0, count);
    if (zero) count = static_cast<size_t>(static_cast<const char*>(zero) - bytes);
    return MultiByteToText(CP_UTF8, bytes, static_cast<int>(count));
}

std::wstring ReceivedBytesToText(const std::string& bytes) {
    // ASCII reads the same in UTF-8 and in the ANSI code page.
    std::wstring text;
    if (DecodeWellFormedUtf8(bytes.data(), bytes.size(), &text)) return text;
    return IsUtf8Text(bytes) ? Utf8BytesToText(bytes.data(), bytes.size()) : AnsiToText(bytes);
}

bool IsWellFormedUtf8(const char* bytes, size_t count) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = p + count;
    while (p < end) {
        if (*p >= 0x80) {
            size_t length = 0;
            if (!WellFormedSequence(p, end, &length)) return false;
            p += length;
        } else {
            if (*p == 0) return false;
            ++p;
        }
    }
    return true;
}

std::string Utf8AsWellFormed(std::string bytes) {
    if (IsWellFormedUtf8(bytes.data(), bytes.size())) return bytes;
    return TextToUtf8String(Utf8BytesToText(bytes.data(), bytes.size()));
}

std::string ReceivedBytesAsUtf8(std::string bytes) {
    if (IsWellFormedUtf8(bytes.data(), bytes.size())) return bytes;
    return TextToUtf8String(ReceivedBytesToText(bytes));
}

int CompareAsUtf16(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned x = static_cast<unsigned char>(a[i]);
        unsigned y = static_cast<unsigned char>(b[i]);
        if (x == y) continue;
        // Where the sequences part, a lead byte of U+E000..U+FFFF (EE, EF)
        // against one beyond U+FFFF (F0..F4): UTF-16 puts the latter, a
        // surrogate pair, first.
        bool xHigh = x >= 0xF0;
        bool yHigh = y >= 0xF0;
        if (xHigh != yHigh && (xHigh ? y >= 0xEE : x >= 0xEE)) return xHigh ? -1 : 1;
        return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::string_view TrimUtf8(std::string_view text) {
    auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    // Lists are mostly ASCII: a character beyond it is decoded only at an end.
    auto whiteSpace = [](const char* bytes, size_t length) {
        if (length == 1 && static_cast<unsigned char>(bytes[0]) < 0x80) return IsWhiteSpace(bytes[0]);
        std::wstring character = Utf8BytesToText(bytes, length);
        return character.size() == 1 && IsWhiteSpace(character[0]);
    };
    while (!text.empty()) {
        size_t start = text.size() - 1;
        while (start > 0 && continuation(text[start])) --start;
        if (!whiteSpace(text.data() + start, text.size() - start)) break;
        text.remove_suffix(text.size() - start);
    }
    while (!text.empty()) {
        size_t end = 1;
        while (end < text.size() && continuation(text[end])) ++end;
        if (!whiteSpace(text.data(), end)) break;
        text.remove_prefix(end);
    }
    return text;
}

bool TextToUtf8(const wchar_t* text, std::wstring* out) {
    if (!text || !out) return false;
    std::string utf8 = TextToMultiByte(CP_UTF8, text, static_cast<int>(std::wcslen(text)));
    *out = AnsiToText(utf8);
    return true;
}

void TextToUtf8Bytes(const std::wstring& text, std::string* out) {
    std::string utf8 = TextToUtf8String(text);
    if (out->size() < utf8.size()) out->resize(utf8.size(), '\0');
    out->replace(0, utf8.size(), utf8);
}

std::string TextToUtf8String(const std::wstring& text) {
    return TextToMultiByte(CP_UTF8, text.data(), static_cast<int>(text.size()));
}

void AppendUtf8(std::wstring_view text, std::string* out) {
    size_t i = 0;
    while (i < text.size() && text[i] < 0x80) out->push_back(static_cast<char>(text[i++]));
    if (i < text.size()) out->append(TextToMultiByte(CP_UTF8, text.data() + i, static_cast<int>(text.size() - i)));
}

bool SplitText(std::wstring text, std::wstring delimiters, std::vector<std::wstring>* out) {
    if (!out) return false;
    const wchar_t* begin = text.data();
    auto isDelimiter = [&delimiters](wchar_t c) { return delimiters.find(c) != std::wstring::npos; };
    ForEachToken(begin, begin + text.size(), isDelimiter, [out](const wchar_t* first, const wchar_t* last) {
        out->emplace_back(first, last);
        return true;
    });
    return true;
}

std::string UrlDecode(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = bytes[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < bytes.size() && HexValue(bytes[i + 1]) >= 0 && HexValue(bytes[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(bytes[i + 1]) * 16 + HexValue(bytes[i + 2])));
            i += 2;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::wstring IntToText(int32_t value) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"%d", static_cast<int>(value));
    return buffer;
}

std::string BytesToHexUpper(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}
