#pragma once
// Moving text between the launcher's two kinds of string: text (UTF-16
// std::wstring) and byte strings (std::string: file contents, HTTP bodies,
// digests, command-line values). Implicit conversions use the thread ANSI
// code page; UTF-8 only through the explicit functions below.
#include <cstdint>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

// Text to bytes and back with the thread ANSI code page (CP_THREAD_ACP).
// Characters the code page cannot represent become its default character.
std::string TextToAnsi(const std::wstring& text);
std::wstring AnsiToText(const std::string& bytes);
// The text in the thread's ANSI code page; false (and *out untouched) when a
// character of it has no exact form there.
bool TextToAnsiExact(const std::wstring& text, std::string* out);

// Characters Base64 needs for n bytes: 4 * ceil(n / 3); -1 for a negative n
// or one of 2^29 or more, whose encoding would not fit a 32-bit length.
int Base64EncodedLength(int n);
// Standard alphabet, "=" padding, no line breaks, no terminating zero.
// *length: in, the capacity of out; out, the characters written.
bool Base64Encode(const unsigned char* data, int count, char* out, int* length);
// Convenience: the encoding of a whole byte string.
std::string Base64EncodeBytes(const std::string& bytes);

// True only for well-formed UTF-8 (lead/continuation structure) that has at
// least one byte of 0x80 or above.
bool IsUtf8Text(const unsigned char* bytes, int count);
bool IsUtf8Text(const std::string& bytes);

// UTF-8 (up to the first zero byte) to text, directly: every character,
// whatever the system's code page. A malformed sequence becomes U+FFFD, as
// Windows decodes it.
bool Utf8ToText(const char* utf8, std::wstring* out);
// The same for count bytes (still up to the first zero byte among them).
std::wstring Utf8BytesToText(const char* bytes, size_t count);
inline std::wstring Utf8BytesToText(std::string_view bytes) { return Utf8BytesToText(bytes.data(), bytes.size()); }
// Text that arrived as bytes (a download, a server's answer): UTF-8 when
// IsUtf8Text says so (up to the first zero byte), the thread ANSI code page
// otherwise. Well-formed UTF-8 and ASCII, what lists and answers are, are
// decoded in one pass over the bytes.
std::wstring ReceivedBytesToText(const std::string& bytes);

// Whether the bytes are well-formed UTF-8 without a zero byte: every
// character in its shortest form, no surrogate, nothing above U+10FFFF. Such
// bytes mean the same text to every decoder, so they can be kept as they are.
bool IsWellFormedUtf8(const char* bytes, size_t count);
// The bytes as well-formed UTF-8 with the text Utf8ToText reads from them:
// the bytes themselves when they are well-formed already (no copy), else
// that text encoded again.
std::string Utf8AsWellFormed(std::string bytes);
// The same with the text ReceivedBytesToText reads from them.
std::string ReceivedBytesAsUtf8(std::string bytes);
// Orders well-formed UTF-8 as its UTF-16 code units compare (the order
// Windows and std::wstring use), which differs from the bytes' own order
// only between U+E000..U+FFFF and the characters beyond U+FFFF.
int CompareAsUtf16(std::string_view a, std::string_view b);
// The UTF-8 text without white space (IsWhiteSpace) at either end.
std::string_view TrimUtf8(std::string_view text);
// Text (up to the first zero) to UTF-8, carried in a text whose characters are
// the UTF-8 bytes read with the thread ANSI code page.
bool TextToUtf8(const wchar_t* text, std::wstring* out);
// The UTF-8 bytes of the whole text, written from the start of *out, which is
// grown with zero bytes when shorter.
void TextToUtf8Bytes(const std::wstring& text, std::string* out);
// Plain UTF-8 bytes of a text (no code-page round trip).
std::string TextToUtf8String(const std::wstring& text);
// Appends the UTF-8 bytes of a text; ASCII, what names mostly are, without a
// call to the system.
void AppendUtf8(std::wstring_view text, std::string* out);

// What the C library's iswspace says, without its call for the ASCII characters
// that lists and parameters are mostly made of.
inline bool IsWhiteSpace(wchar_t c) {
    return c < 0x80 ? (c == L' ' || (c >= L'\t' && c <= L'\r')) : std::iswspace(c) != 0;
}

// The text without white space (iswspace) at either end.
std::wstring TrimWhiteSpace(const std::wstring& text);

// Appends the tokens of text split at any of the delimiter characters, each
// trimmed of white space; an empty token (after trimming) ends the walk.
bool SplitText(std::wstring text, std::wstring delimiters, std::vector<std::wstring>* out);
// The tokens SplitText gives, as ranges [first, last) of the text, without a
// copy: take(first, last) is called for each until a token is empty after
// trimming or take gives false. isDelimiter(c) tells the separators.
template <typename IsDelimiter, typename Take>
void ForEachToken(const wchar_t* begin, const wchar_t* end, IsDelimiter isDelimiter, Take take) {
    const wchar_t* p = begin;
    for (;;) {
        while (p < end && isDelimiter(*p)) ++p;
        const wchar_t* first = p;
        while (p < end && !isDelimiter(*p)) ++p;
        const wchar_t* last = p;
        while (first < last && IsWhiteSpace(*first)) ++first;
        while (last > first && IsWhiteSpace(last[-1])) --last;
        if (first == last || !take(first, last)) return;
    }
}

// "+" becomes a blank, "%XY" the byte 0xXY. A "%" without two hex digits
// after it is kept as it stands, with what follows it.
std::string UrlDecode(const std::string& bytes);

std::wstring IntToText(int32_t value);
// Two upper-case hex digits per byte, no separators.
std::string BytesToHexUpper(const std::string& bytes);
