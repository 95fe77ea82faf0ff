#include "update/GzipStream.h"

#include <cstring>

namespace {
const unsigned char kMagic0 = 0x1F;
const unsigned char kMagic1 = 0x8B;
}  // namespace

GzipStreamInflater::~GzipStreamInflater() { ReleaseZlib(); }

void GzipStreamInflater::ReleaseZlib() {
    if (zlibReady_) inflateEnd(&zs_);
    zlibReady_ = false;
}

void GzipStreamInflater::Reset() {
    ReleaseZlib();
    mode_ = Mode::Detect;
    heldMagicByte_ = false;
}

bool GzipStreamInflater::StartMember() {
    if (zlibReady_) {
        if (inflateReset(&zs_) != Z_OK) return false;
    } else {
        std::memset(&zs_, 0, sizeof(zs_));
        // 16 + 15: a gzip wrapper around a full-size deflate window.
        if (inflateInit2(&zs_, 16 + MAX_WBITS) != Z_OK) return false;
        zlibReady_ = true;
    }
    mode_ = Mode::Member;
    return true;
}

bool GzipStreamInflater::Copy(const unsigned char* p, size_t n, ByteSink* sink) {
    while (n > 0) {
        size_t room = 0;
        char* out = sink->Space(&room);
        if (!out || room == 0) return false;
        size_t take = n < room ? n : room;
        std::memcpy(out, p, take);
        if (!sink->Commit(take)) return false;
        p += take;
        n -= take;
    }
    return true;
}

bool GzipStreamInflater::Inflate(const unsigned char* p, size_t n, ByteSink* sink, size_t* consumed) {
    zs_.next_in = const_cast<Bytef*>(p);
    zs_.avail_in = static_cast<uInt>(n);
    for (;;) {
        size_t room = 0;
        char* out = sink->Space(&room);
        if (!out || room == 0) return false;
        zs_.next_out = reinterpret_cast<Bytef*>(out);
        zs_.avail_out = static_cast<uInt>(room);
        int rc = inflate(&zs_, Z_NO_FLUSH);
        size_t produced = room - zs_.avail_out;
        if (produced > 0 && !sink->Commit(produced)) return false;
        *consumed = n - zs_.avail_in;
        if (rc == Z_STREAM_END) {
            mode_ = Mode::BetweenMembers;  // the caller looks at what follows the member
            return true;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) return false;  // corrupt data, dictionary, memory
        // More output may wait inside zlib only when the buffer was filled.
        if (zs_.avail_in == 0 && zs_.avail_out != 0) return true;
        if (rc == Z_BUF_ERROR && produced == 0) return true;
    }
}

bool GzipStreamInflater::FeedBytes(const unsigned char* p, size_t n, ByteSink* sink) {
    while (n > 0) {
        switch (mode_) {
            case Mode::Stored:
                return Copy(p, n, sink);
            case Mode::Member: {
                size_t used = 0;
                if (!Inflate(p, n, sink, &used)) return false;
                p += used;
                n -= used;
                if (mode_ == Mode::Member) return true;  // all taken; the member goes on
                continue;
            }
            case Mode::Trailing:
                return true;
            case Mode::Failed:
                return false;
            case Mode::Detect:
            case Mode::BetweenMembers: {
                if (!heldMagicByte_) {
                    if (p[0] != kMagic0) {
                        // Not gzip: at the start the entry is stored as it stands; after a
                        // member it is trailing data, which the gzip reader ignores too.
                        mode_ = mode_ == Mode::Detect ? Mode::Stored : Mode::Trailing;
                        continue;
                    }
                    heldMagicByte_ = true;
                    ++p;
                    --n;
                    continue;
                }
                heldMagicByte_ = false;
                if (p[0] == kMagic1) {
                    size_t used = 0;
                    if (!StartMember() || !Inflate(&kMagic0, 1, sink, &used)) return false;
                    continue;
                }
                if (mode_ == Mode::Detect) {
                    mode_ = Mode::Stored;
                    if (!Copy(&kMagic0, 1, sink)) return false;
                } else {
                    mode_ = Mode::Trailing;
                }
                continue;
            }
        }
    }
    return true;
}

bool GzipStreamInflater::Feed(const void* data, size_t count, ByteSink* sink) {
    if (mode_ == Mode::Failed) return false;
    if (!FeedBytes(static_cast<const unsigned char*>(data), count, sink)) {
        mode_ = Mode::Failed;
        ReleaseZlib();
        return false;
    }
    return true;
}

bool GzipStreamInflater::Finish(ByteSink* sink) {
    bool ok = true;
    if (mode_ == Mode::Failed || mode_ == Mode::Member) {
        ok = false;  // corrupt, or cut inside a member
    } else if (mode_ == Mode::Detect && heldMagicByte_) {
        ok = Copy(&kMagic0, 1, sink);  // a lone 0x1F is stored data
    }
    ReleaseZlib();
    mode_ = Mode::Failed;  // nothing more until Reset
    heldMagicByte_ = false;
    return ok;
}
