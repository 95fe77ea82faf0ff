#include "download/TestHttpServer.h"

#include <ws2tcpip.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

bool SendAll(SOCKET s, const char* data, size_t size) {
    while (size > 0) {
        int n = ::send(s, data, static_cast<int>(std::min<size_t>(size, 64 * 1024)), 0);
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "bytes=a-b" with 0 <= a <= b; false for anything else.
bool ParseRange(const std::string& value, uint64_t* first, uint64_t* last) {
    unsigned long long a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(value.c_str(), "bytes=%llu-%llu%c", &a, &b, &tail) != 2) return false;
    if (b < a) return false;
    *first = a;
    *last = b;
    return true;
}

}  // namespace

std::string TestHttpServer::Pattern(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = 2463534242u ^ seed;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x);
    }
    return bytes;
}

uint16_t TestHttpServer::RefusingPort() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    int len = sizeof(addr);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::closesocket(s);
    return ntohs(addr.sin_port);
}

bool TestHttpServer::Start() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    releaseEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    listen_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listen_ == INVALID_SOCKET) return false;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) return false;
    int len = sizeof(addr);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::listen(listen_, 64) != 0) return false;
    return acceptThread_.Begin(&TestHttpServer::AcceptMain, this);
}

void TestHttpServer::Stop() {
    if (listen_ == INVALID_SOCKET) return;
    ::InterlockedExchange(&stopping_, 1);
    Release();
    ::closesocket(listen_);
    acceptThread_.Join();
    listen_ = INVALID_SOCKET;
    std::vector<std::unique_ptr<Connection>> connections;
    {
        ScopedLock hold(lock_);
        connections.swap(connections_);
    }
    for (auto& c : connections) c->thread.Join();
}

std::wstring TestHttpServer::BaseUrl() const { return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/"; }

void TestHttpServer::Add(const std::string& path, const Resource& resource) {
    ScopedLock hold(lock_);
    resources_[path] = resource;
}

void TestHttpServer::Release() {
    if (releaseEvent_) ::SetEvent(releaseEvent_.Get());
}

bool TestHttpServer::WaitForStalled(int count, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        {
            ScopedLock hold(lock_);
            if (stalled_ >= count) return true;
        }
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(5);
    }
}

std::vector<TestHttpServer::Request> TestHttpServer::Requests() {
    ScopedLock hold(lock_);
    return requests_;
}

int TestHttpServer::MaxConcurrent() {
    ScopedLock hold(lock_);
    return maxConcurrent_;
}

UINT TestHttpServer::AcceptMain(LPVOID param) {
    static_cast<TestHttpServer*>(param)->AcceptLoop();
    return 0;
}

UINT TestHttpServer::ConnectionMain(LPVOID param) {
    Connection* c = static_cast<Connection*>(param);
    c->server->Serve(c->socket);
    return 0;
}

void TestHttpServer::AcceptLoop() {
    for (;;) {
        SOCKET s = ::accept(listen_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;  // closed by Stop
        if (stopping_) {
            ::closesocket(s);
            return;
        }
        std::unique_ptr<Connection> c(new Connection{this, s, {}});
        Connection* raw = c.get();
        ScopedLock hold(lock_);
        connections_.push_back(std::move(c));
        if (!raw->thread.Begin(&TestHttpServer::ConnectionMain, raw)) ::closesocket(s);
    }
}

void TestHttpServer::Serve(SOCKET s) {
    DWORD timeoutMs = 20000;  // a client that never closes cannot hold Stop forever
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
    std::string data;
    char buffer[4096];
    size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        int n = ::recv(s, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            ::closesocket(s);
            return;
        }
        data.append(buffer, n);
    }
    Request request;
    size_t lineEnd = data.find("\r\n");
    std::string requestLine = data.substr(0, lineEnd);
    size_t sp1 = requestLine.find(' ');
    size_t sp2 = requestLine.rfind(' ');
    request.method = requestLine.substr(0, sp1);
    request.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t pos = lineEnd + 2;
    while (pos < headerEnd) {
        size_t end = data.find("\r\n", pos);
        std::string line = data.substr(pos, end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[Lower(line.substr(0, colon))] = value;
        }
        pos = end + 2;
    }
    size_t bodyLength = 0;
    auto length = request.headers.find("content-length");
    if (length != request.headers.end()) bodyLength = std::strtoul(length->second.c_str(), nullptr, 10);
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < bodyLength) {
        int n = ::recv(s, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        request.body.append(buffer, n);
    }
    {
        ScopedLock hold(lock_);
        requests_.push_back(request);
        maxConcurrent_ = std::max(maxConcurrent_, ++concurrent_);
    }
    bool graceful = Respond(s, request);
    {
        ScopedLock hold(lock_);
        --concurrent_;
    }
    if (graceful) {
        ::shutdown(s, SD_SEND);
        // Let the client read everything before the socket goes.
        while (::recv(s, buffer, sizeof(buffer), 0) > 0) {
        }
    } else {
        linger hard = {1, 0};  // reset instead of an orderly close
        ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
    }
    ::closesocket(s);
}

bool TestHttpServer::Respond(SOCKET s, const Request& request) {
    std::string path = request.target.substr(0, request.target.find('?'));
    Resource resource;
    bool found = false;
    int served = 0;
    {
        ScopedLock hold(lock_);
        auto it = resources_.find(path);
        if (it != resources_.end()) {
            resource = it->second;
            found = true;
            served = served_[path]++;
        }
    }
    auto send = [s](const std::string& text) { return SendAll(s, text.data(), text.size()); };
    if (!found) {
        send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
        return true;
    }
    if (served < resource.failFirst) {
        send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbusy");
        return true;
    }
    if (resource.mode == kSilent) {
        ::WaitForSingleObject(releaseEvent_.Get(), 60000);
        return true;
    }
    if (served < resource.failFirst + resource.cutFirst) resource.mode = kCutBody;
    const std::string& bytes = resource.bytes;
    uint64_t first = 0;
    uint64_t last = bytes.empty() ? 0 : bytes.size() - 1;
    std::string status = "200 OK";
    std::string extra;
    auto range = request.headers.find("range");
    const bool unranged = resource.mode == kIgnoreRange || resource.mode == kNoLength ||
                          resource.mode == kChunked || resource.mode == kChunkedCut;
    if (resource.mode == kPartial) {
        status = "206 Partial Content";
        extra = "Content-Range: bytes 0-" + std::to_string(last) + "/" + std::to_string(bytes.size()) + "\r\n";
    } else if (range != request.headers.end() && !unranged) {
        uint64_t a, b;
        if (!ParseRange(range->second, &a, &b) || a >= bytes.size()) {
            send("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return true;
        }
        first = a;
        last = std::min<uint64_t>(b, bytes.size() - 1);
        status = "206 Partial Content";
        extra = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                std::to_string(bytes.size()) + "\r\n";
    }
    size_t count = bytes.empty() ? 0 : static_cast<size_t>(last - first + 1);
    std::string head = "HTTP/1.1 " + status + "\r\n" + extra + "Connection: close\r\n";
    const bool chunked = resource.mode == kChunked || resource.mode == kChunkedCut;
    if (chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (resource.mode != kNoLength) {
        head += "Content-Length: " + std::to_string(count) + "\r\n";
    }
    head += "\r\n";
    if (!send(head)) return true;
    const char* body = bytes.data() + first;
    switch (resource.mode) {
    case kChunked:
    case kChunkedCut: {
        const size_t kChunk = 1000;
        const size_t end = resource.mode == kChunked ? count : (count / 2) / kChunk * kChunk;
        for (size_t at = 0; at < end; at += kChunk) {
            size_t n = std::min(kChunk, end - at);
            char size[16];
            std::snprintf(size, sizeof(size), "%x\r\n", static_cast<unsigned>(n));
            if (!send(size) || !SendAll(s, body + at, n) || !send("\r\n")) return true;
        }
        if (resource.mode == kChunked) send("0\r\n\r\n");
        return true;
    }
    case kCutBody:
        SendAll(s, body, count / 2);
        ::Sleep(50);
        return false;
    case kShortBody:
        SendAll(s, body, count / 2);
        return true;
    case kStall: {
        size_t before = std::min<size_t>(resource.stallAfter, count);
        SendAll(s, body, before);
        {
            ScopedLock hold(lock_);
            ++stalled_;
        }
        ::WaitForSingleObject(releaseEvent_.Get(), 60000);
        SendAll(s, body + before, count - before);
        return true;
    }
    case kDrip: {
        size_t sent = std::min<size_t>(resource.stallAfter, count);
        if (!SendAll(s, body, sent)) return true;
        // Until the client goes away or the server stops.
        while (sent < count && !stopping_) {
            ::Sleep(resource.dripMs);
            size_t n = std::min<size_t>(resource.dripBytes, count - sent);
            if (!SendAll(s, body + sent, n)) break;
            sent += n;
        }
        return true;
    }
    default:
        SendAll(s, body, count);
        return true;
    }
}
