#include "download/HostHealth.h"

HostHealth::HostHealth(size_t hostCount) : hosts_(hostCount < 1 ? 1 : (hostCount > kMaxHosts ? kMaxHosts : hostCount)) {}

bool HostHealth::Usable(const Host& host, uint64_t nowMs) const {
    return !host.setAside || nowMs - host.setAsideAtMs >= kSetAsideMs;
}

size_t HostHealth::LongestAside(uint32_t tried) const {
    size_t longest = kNone;
    for (size_t i = 0; i < hosts_.size(); ++i) {
        if (tried & (1u << i)) continue;
        if (longest == kNone || hosts_[i].setAsideAtMs < hosts_[longest].setAsideAtMs) longest = i;
    }
    return longest;
}

size_t HostHealth::PickInOrder(uint32_t tried, uint64_t nowMs) const {
    for (size_t i = 0; i < hosts_.size(); ++i) {
        if (!(tried & (1u << i)) && Usable(hosts_[i], nowMs)) return i;
    }
    return LongestAside(tried);
}

size_t HostHealth::Pick(uint32_t tried, uint64_t nowMs) const {
    size_t best = kNone;
    for (size_t i = 0; i < hosts_.size(); ++i) {
        if (tried & (1u << i)) continue;
        const Host& host = hosts_[i];
        if (!Usable(host, nowMs)) continue;
        // A host nobody has measured yet gets one request, the first it is offered.
        if (host.bytesPerSecond == 0 && host.underWay == 0) return i;
        if (best == kNone) {
            best = i;
            continue;
        }
        const Host& chosen = hosts_[best];
        if (host.bytesPerSecond > chosen.bytesPerSecond ||
            (host.bytesPerSecond == chosen.bytesPerSecond && host.underWay < chosen.underWay)) {
            best = i;
        }
    }
    return best != kNone ? best : LongestAside(tried);
}

void HostHealth::RequestStarted(size_t host) {
    if (host < hosts_.size()) ++hosts_[host].underWay;
}

void HostHealth::RequestEnded(size_t host) {
    if (host < hosts_.size() && hosts_[host].underWay > 0) --hosts_[host].underWay;
}

void HostHealth::Delivered(size_t host, uint64_t bytes, uint64_t elapsedMs) {
    if (host >= hosts_.size()) return;
    Host& h = hosts_[host];
    h.setAside = false;
    const uint64_t sample = bytes * 1000 / (elapsedMs > 0 ? elapsedMs : 1);
    // Half the old figure and half the new one: a host that slows down (or
    // recovers) shows it within a few requests. Never 0 once measured.
    h.bytesPerSecond = h.bytesPerSecond == 0 ? sample : (h.bytesPerSecond + sample) / 2;
    if (h.bytesPerSecond == 0) h.bytesPerSecond = 1;
}

void HostHealth::Failed(size_t host, uint64_t nowMs) {
    if (host >= hosts_.size()) return;
    hosts_[host].setAside = true;
    hosts_[host].setAsideAtMs = nowMs;
}

bool HostHealth::IsSetAside(size_t host, uint64_t nowMs) const {
    return host < hosts_.size() && !Usable(hosts_[host], nowMs);
}
