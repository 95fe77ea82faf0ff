#pragma once
// What one run has learnt of the CDN hosts it may fetch from: which failed
// and when (such a host is set aside for a while), and how fast each
// delivered. It chooses the host for every request: free of clocks and
// threads, the caller passes the time (milliseconds of any steady clock) and
// keeps it under its own lock, so tests drive it with a clock of their own.
//
// Host 0 is the primary. A request that failed on some hosts goes to one it
// has not tried; only when it has tried them all do the engine's attempts and
// pauses apply. A set-aside host is chosen again only once its time is over
// or when no host that is not set aside is left for the request.
#include <cstdint>
#include <vector>

class HostHealth {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // A host that failed is left alone this long, unless no other is left.
    static constexpr uint64_t kSetAsideMs = 5 * 60 * 1000;
    // At most this many hosts (a bit each in a request's tried mask).
    static constexpr size_t kMaxHosts = 32;

    explicit HostHealth(size_t hostCount);

    size_t Count() const { return hosts_.size(); }
    // The host for a request that has failed on the hosts in tried (bit n for
    // host n), kNone when it has tried them all. Of the hosts not set aside:
    // one not measured yet with no request under way (so each is measured),
    // else the one whose requests delivered fastest, the one with the fewest
    // requests under way on a tie, the primary before mirrors on a tie. With
    // every untried host set aside, the one set aside longest ago.
    size_t Pick(uint32_t tried, uint64_t nowMs) const;
    // The same choice by the hosts' order instead of their speed: the first
    // host not tried and not set aside (the primary while it works). For
    // files that must come from one host together, such as a list and its
    // statement.
    size_t PickInOrder(uint32_t tried, uint64_t nowMs) const;
    // A request starts or ends on the host: Pick spreads requests over hosts
    // that are equally good.
    void RequestStarted(size_t host);
    void RequestEnded(size_t host);
    // A request's bytes arrived whole: bytes in elapsedMs (a sample of the
    // host's speed; later samples weigh more). A host delivering again is
    // no longer set aside.
    void Delivered(size_t host, uint64_t bytes, uint64_t elapsedMs);
    // The host failed a request: it is set aside from nowMs on.
    void Failed(size_t host, uint64_t nowMs);
    bool IsSetAside(size_t host, uint64_t nowMs) const;
    // Bytes per second the host delivered (smoothed); 0 before any sample.
    uint64_t Speed(size_t host) const { return hosts_[host].bytesPerSecond; }

private:
    struct Host {
        bool setAside = false;
        uint64_t setAsideAtMs = 0;
        uint64_t bytesPerSecond = 0;  // 0: not measured
        int32_t underWay = 0;
    };
    bool Usable(const Host& host, uint64_t nowMs) const;
    // Of the hosts not in tried, the one set aside longest ago; kNone when none.
    size_t LongestAside(uint32_t tried) const;

    std::vector<Host> hosts_;
};
