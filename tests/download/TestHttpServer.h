#pragma once
// A small HTTP/1.1 server on 127.0.0.1 inside the test binary, for the engine's
// tests. Each resource answers in one of the ways a real server or network
// can misbehave; every request is recorded. One response per connection.
#include <winsock2.h>
#include <windows.h>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "afx/WinThread.h"

class TestHttpServer {
public:
    enum Mode {
        kRanges,       // 206 for a satisfiable "bytes=a-b", 416 otherwise, 200 without Range
        kIgnoreRange,  // always 200 with the whole resource
        kCutBody,      // announces the full length, sends half, then resets the connection
        kShortBody,    // announces the full length, sends half, then closes normally
        kNoLength,     // 200, no Content-Length, body ends when the connection closes
        kChunked,      // 200 in chunked framing, with its last chunk
        kChunkedCut,   // 200 in chunked framing, closed after half the chunks (no last chunk)
        kPartial,      // 206 with the whole resource as its range, whether asked for or not
        kStall,        // like kRanges, but stops after stallAfter bytes until Release()
        kDrip,         // like kRanges, but after stallAfter bytes dripBytes every dripMs
        kSilent,       // reads the request and answers nothing until Release()
    };
    struct Resource {
        std::string bytes;
        Mode mode = kRanges;
        int failFirst = 0;          // the first failFirst requests answer 503
        int cutFirst = 0;           // the next cutFirst requests are cut like kCutBody
        uint32_t stallAfter = 0;
        DWORD dripMs = 1000;
        uint32_t dripBytes = 1;
    };
    struct Request {
        std::string method;
        std::string target;               // as on the request line
        std::map<std::string, std::string> headers;  // names lower-case
        std::string body;
    };

    TestHttpServer() = default;
    ~TestHttpServer() { Stop(); }
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    bool Start();
    void Stop();
    // http://127.0.0.1:port/
    std::wstring BaseUrl() const;
    uint16_t Port() const { return port_; }

    // path starts with "/", without query. Paths nobody added answer 404.
    void Add(const std::string& path, const Resource& resource);
    // Lets stalled responses go on (and every later one pass straight through).
    void Release();
    // Waits until count responses are stalled; false after timeoutMs.
    bool WaitForStalled(int count, DWORD timeoutMs);

    std::vector<Request> Requests();
    int MaxConcurrent();

    // A loopback port on which nothing listens.
    static uint16_t RefusingPort();
    // Bytes that differ at every position of a large window, so a misplaced
    // range shows.
    static std::string Pattern(size_t size, uint32_t seed = 0);

private:
    struct Connection {
        TestHttpServer* server;
        SOCKET socket;
        CWinThread thread;
    };
    static UINT AcceptMain(LPVOID param);
    static UINT ConnectionMain(LPVOID param);
    void AcceptLoop();
    void Serve(SOCKET s);
    bool Respond(SOCKET s, const Request& request);

    SOCKET listen_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    CWinThread acceptThread_;
    CriticalSection lock_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::map<std::string, Resource> resources_;
    std::map<std::string, int> served_;
    std::vector<Request> requests_;
    int concurrent_ = 0;
    int maxConcurrent_ = 0;
    int stalled_ = 0;
    ScopedHandle releaseEvent_;
    volatile LONG stopping_ = 0;
};
