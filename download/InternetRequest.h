#pragma once
// One HTTP request over an asynchronous WinINet session, for HttpClient.
//
// Every call the transport cannot finish at once is waited for here, on the
// caller's thread, together with a cancel event and a deadline, so a cancel or
// a silent server ends the wait at once whatever the transport still waits
// for. A synchronous session cannot give that: under Wine, closing a handle
// does not end a read blocked on it, and the receive time-outs do not apply
// to reads, so a server that stops sending held the reading thread for good.
//
// The transport may go on with a call after its wait was given up, until the
// request's handle is closed and WinINet says so; whatever it may still write
// to (buffers, results, the body being sent) lives in a shared block that the
// last of the two releases.
#include <windows.h>
#include <wininet.h>
#include <cstdint>
#include <string>

#include "download/InternetHandle.h"

class InternetRequest {
public:
    enum Outcome {
        kDone,       // the call finished well
        kFailed,     // the transport reported a failure
        kCancelled,  // the cancel event was set first
        kTimedOut,   // the deadline passed first
    };

    // cancelEvent: a manual-reset event that, once set, ends every wait. Not owned.
    explicit InternetRequest(HANDLE cancelEvent);
    // Closes the request, the connection and the session, in this order.
    ~InternetRequest();
    InternetRequest(const InternetRequest&) = delete;
    InternetRequest& operator=(const InternetRequest&) = delete;

    // Opens a session with the given time-outs (milliseconds) and connect
    // retries, a connection and the request. False when any of them fails.
    bool Open(const std::wstring& server, uint16_t port, const wchar_t* verb, const std::wstring& path, DWORD flags,
              DWORD sendTimeoutMs, DWORD receiveTimeoutMs, DWORD connectRetries);
    // Sends the header block and the body and waits until the response
    // headers have arrived, until GetTickCount reaches deadline at the latest.
    // After kCancelled or kTimedOut the request may only be destroyed.
    Outcome Send(const std::wstring& headerBlock, const std::string& body, DWORD deadline);
    // Reads the next body bytes, maxBytes of them (at most 64 KiB) or what is
    // left of the body: *data points at them, valid until the next call;
    // *count is 0 at the end of the body. When they have not all arrived the
    // transport reads on while this waits; after kTimedOut the next Read
    // waits on for the same bytes.
    Outcome Read(DWORD maxBytes, const char** data, DWORD* count, DWORD deadline);
    // For HttpQueryInfoW, after a successful Send.
    HINTERNET Handle() const { return request_.Get(); }
    // The system error of the last call that failed (Open false, kFailed): the
    // thread's last error, or the transport's own for a call that completed later.
    DWORD Error() const { return error_; }

private:
    struct Shared;
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD infoLength);
    // Waits for the completion of a call that went asynchronous.
    Outcome WaitForCompletion(DWORD deadline);

    // Keeps the thread's last error as the failure's.
    bool Fail() { error_ = ::GetLastError(); return false; }

    HANDLE cancelEvent_;
    Shared* shared_;
    DWORD error_ = 0;
    bool reading_ = false;  // a read went asynchronous and has not completed
    // Declared so they close request, connection, session.
    ScopedInternetHandle session_;
    ScopedInternetHandle connection_;
    ScopedInternetHandle request_;
};
