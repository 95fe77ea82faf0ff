#pragma once
// Inflates one package entry while its bytes arrive, the way zlib's gzip file
// reader would read the whole entry: gzip members one after another, data that
// does not start with the gzip magic taken as it stands, and anything after the
// last member that is not another member ignored.
#include <cstddef>
#include <zlib.h>

// Where inflated bytes go: the sink lends a buffer and takes it back filled, so
// nothing is copied on the way to the file.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Room for at least one byte; *available says how much. Null on failure.
    virtual char* Space(size_t* available) = 0;
    // The first count bytes of the last Space were filled. False stops the stream.
    virtual bool Commit(size_t count) = 0;
};

class GzipStreamInflater {
public:
    GzipStreamInflater() = default;
    ~GzipStreamInflater();
    GzipStreamInflater(const GzipStreamInflater&) = delete;
    GzipStreamInflater& operator=(const GzipStreamInflater&) = delete;

    // Forgets everything fed so far (and releases zlib's state) for a new entry.
    void Reset();
    // The next bytes of the entry. False on corrupt gzip data or when the sink refuses.
    bool Feed(const void* data, size_t count, ByteSink* sink);
    // The entry's bytes are all there: false when they end inside a gzip member.
    // Releases zlib's state either way.
    bool Finish(ByteSink* sink);

private:
    enum class Mode { Detect, Stored, Member, BetweenMembers, Trailing, Failed };
    bool FeedBytes(const unsigned char* p, size_t n, ByteSink* sink);
    // Inflates until the input is used up or the member ends (*consumed says how far).
    bool Inflate(const unsigned char* p, size_t n, ByteSink* sink, size_t* consumed);
    bool StartMember();
    bool Copy(const unsigned char* p, size_t n, ByteSink* sink);
    void ReleaseZlib();

    Mode mode_ = Mode::Detect;
    // A first 0x1F whose partner has not arrived yet (the magic may be split between two pieces).
    bool heldMagicByte_ = false;
    z_stream zs_ = {};
    bool zlibReady_ = false;
};
