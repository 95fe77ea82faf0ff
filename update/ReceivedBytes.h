#pragma once
// The bytes of one file's attempts, as a processor counts them for the batch's
// progress: only bytes beyond the most any earlier attempt received are
// reported, so what a repeated attempt fetches again counts once.
#include <cstdint>
#include <functional>

class ReceivedBytes {
public:
    // A new attempt starts counting from 0.
    void StartAttempt() { written = 0; }
    // count more bytes of the current attempt arrived.
    void Add(uint32_t count);

    int64_t written = 0;     // bytes received since the attempt started
    // Most bytes any attempt received; a processor that takes over from an
    // earlier one of the same task starts from what that one counted.
    int64_t maxWritten = 0;
    // Told how many bytes beyond maxWritten have just arrived.
    std::function<void(int64_t)> onProgress;
};
