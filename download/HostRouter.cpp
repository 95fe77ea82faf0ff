#include "download/HostRouter.h"

#include <windows.h>

HostRouter::HostRouter() : prefixes_(1), health_(1) {}

void HostRouter::Reset(std::vector<std::vector<std::wstring>> prefixes) {
    ScopedLock hold(lock_);
    prefixes_ = std::move(prefixes);
    if (prefixes_.empty()) prefixes_.resize(1);
    if (prefixes_.size() > HostHealth::kMaxHosts) prefixes_.resize(HostHealth::kMaxHosts);
    for (auto& host : prefixes_) host.resize(prefixes_[0].size());
    health_ = HostHealth(prefixes_.size());
}

size_t HostRouter::Count() const {
    ScopedLock hold(lock_);
    return prefixes_.size();
}

std::wstring HostRouter::UrlOn(const std::wstring& url, size_t host) const {
    ScopedLock hold(lock_);
    if (host == 0 || host >= prefixes_.size()) return url;
    const std::vector<std::wstring>& primary = prefixes_[0];
    size_t best = primary.size();
    for (size_t i = 0; i < primary.size(); ++i) {
        if (primary[i].empty() || url.compare(0, primary[i].size(), primary[i]) != 0) continue;
        if (best == primary.size() || primary[i].size() > primary[best].size()) best = i;
    }
    if (best == primary.size()) return url;
    return prefixes_[host][best] + url.substr(primary[best].size());
}

size_t HostRouter::Pick(uint32_t tried, bool inOrder) {
    ScopedLock hold(lock_);
    return inOrder ? health_.PickInOrder(tried, ::GetTickCount64()) : health_.Pick(tried, ::GetTickCount64());
}

bool HostRouter::Untried(uint32_t tried) const {
    ScopedLock hold(lock_);
    for (size_t h = 0; h < prefixes_.size(); ++h) {
        if (!(tried & (1u << h))) return true;
    }
    return false;
}

void HostRouter::RequestStarted(size_t host) {
    ScopedLock hold(lock_);
    health_.RequestStarted(host);
}

void HostRouter::RequestEnded(size_t host) {
    ScopedLock hold(lock_);
    health_.RequestEnded(host);
}

void HostRouter::Delivered(size_t host, uint64_t bytes, uint64_t elapsedMs) {
    ScopedLock hold(lock_);
    health_.Delivered(host, bytes, elapsedMs);
}

void HostRouter::Failed(size_t host) {
    ScopedLock hold(lock_);
    health_.Failed(host, ::GetTickCount64());
}

bool HostRouter::IsHostFault(const FailureCause& cause) {
    switch (cause.kind) {
        case FailureKind::ContentCheck:
        case FailureKind::ServerAnswer:
        case FailureKind::BadAnswer:
        case FailureKind::NoConnection:
        case FailureKind::TimedOut:
            return true;
        case FailureKind::None:
        case FailureKind::DiskFull:
        case FailureKind::FileInUse:
        case FailureKind::DiskError:
            return false;
    }
    return false;
}
