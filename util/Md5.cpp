#include "util/Md5.h"

#include <cstring>
#include "util/TextEncoding.h"

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Per-step shift amounts and the sine-derived constants of RFC 1321.
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

void Transform(uint32_t state[4], const unsigned char block[64]) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = uint32_t(block[i * 4]) | (uint32_t(block[i * 4 + 1]) << 8) |
               (uint32_t(block[i * 4 + 2]) << 16) | (uint32_t(block[i * 4 + 3]) << 24);
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) { f = (b & c) | (~b & d); g = i; }
        else if (i < 32) { f = (d & b) | (~d & c); g = (5 * i + 1) % 16; }
        else if (i < 48) { f = b ^ c ^ d; g = (3 * i + 5) % 16; }
        else { f = c ^ (b | ~d); g = (7 * i) % 16; }
        uint32_t next = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void Md5Init(Md5Context* context) {
    context->count[0] = context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xEFCDAB89;
    context->state[2] = 0x98BADCFE;
    context->state[3] = 0x10325476;
}

void Md5Update(Md5Context* context, const unsigned char* bytes, uint32_t count) {
    uint32_t index = (context->count[0] >> 3) & 0x3F;
    uint32_t bitsLow = count << 3;
    context->count[0] += bitsLow;
    if (context->count[0] < bitsLow) ++context->count[1];
    context->count[1] += count >> 29;

    uint32_t room = 64 - index;
    uint32_t i = 0;
    if (count >= room) {
        std::memcpy(&context->buffer[index], bytes, room);
        Transform(context->state, context->buffer);
        for (i = room; i + 63 < count; i += 64) Transform(context->state, &bytes[i]);
        index = 0;
    }
    std::memcpy(&context->buffer[index], &bytes[i], count - i);
}

void Md5Final(Md5Context* context, unsigned char digest[16]) {
    unsigned char bits[8];
    for (int i = 0; i < 8; ++i) bits[i] = static_cast<unsigned char>(context->count[i / 4] >> (8 * (i % 4)));
    uint32_t index = (context->count[0] >> 3) & 0x3F;
    uint32_t padLength = index < 56 ? 56 - index : 120 - index;
    static const unsigned char kPadding[64] = {0x80};
    Md5Update(context, kPadding, padLength);
    Md5Update(context, bits, 8);
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<unsigned char>(context->state[i / 4] >> (8 * (i % 4)));
    std::memset(context, 0, sizeof(*context));
}

std::string Md5OfBytesHex(const std::string& bytes) {
    Md5Context context;
    Md5Init(&context);
    Md5Update(&context, reinterpret_cast<const unsigned char*>(bytes.data()),
              static_cast<uint32_t>(bytes.size()));
    unsigned char digest[16];
    Md5Final(&context, digest);
    return BytesToHexUpper(std::string(reinterpret_cast<char*>(digest), 16));
}

std::wstring Md5OfText(const std::wstring& text) {
    return AnsiToText(Md5OfBytesHex(TextToAnsi(text)));
}
