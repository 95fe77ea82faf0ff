#pragma once
// The CDN hosts one download may fetch from, shared by its workers: where a
// request's resource lies on each host, and which host the next request goes
// to (HostHealth's choice, under a lock, on the system's steady clock).
//
// The engine is given every URL as it lies on host 0, the primary. Each host
// is described by the same number of URL prefixes: a URL that begins with
// the primary's prefix n lies on host h at host h's prefix n followed by the
// rest (the longest matching prefix wins); a URL that begins with none lies
// at the same place on every host.
#include <cstdint>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/HostHealth.h"
#include "util/FailureCause.h"

class HostRouter {
public:
    // One host: every URL is asked as it is.
    HostRouter();
    HostRouter(const HostRouter&) = delete;
    HostRouter& operator=(const HostRouter&) = delete;

    // The hosts of a new run, with nothing learnt of them yet; never while a
    // request runs. prefixes[h]: host h's prefixes, as many for each host as
    // for host 0. Hosts beyond HostHealth::kMaxHosts are left out.
    void Reset(std::vector<std::vector<std::wstring>> prefixes);
    size_t Count() const;
    // Where url (as it lies on the primary) lies on host.
    std::wstring UrlOn(const std::wstring& url, size_t host) const;

    // The host for a request that has failed on the hosts in tried (bit h for
    // host h); HostHealth::kNone when it has tried them all. inOrder: by the
    // hosts' order (HostHealth::PickInOrder), else by their speed.
    size_t Pick(uint32_t tried, bool inOrder = false);
    // Whether some host is not in tried.
    bool Untried(uint32_t tried) const;
    void RequestStarted(size_t host);
    void RequestEnded(size_t host);
    void Delivered(size_t host, uint64_t bytes, uint64_t elapsedMs);
    void Failed(size_t host);

    // Whether a request's failure was the host's (its answer, its connection,
    // its bytes) rather than this machine's (the disk, a cancel): only such a
    // failure sends the request to another host.
    static bool IsHostFault(const FailureCause& cause);

private:
    mutable CriticalSection lock_;
    std::vector<std::vector<std::wstring>> prefixes_;
    HostHealth health_;
};
