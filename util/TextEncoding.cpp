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
    *out = MultiByteToText(CP_UTF8, utf8, static_cast<int>(std::strlen(utf8)));
    return true;
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
