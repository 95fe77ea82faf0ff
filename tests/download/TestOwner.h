#pragma once
// A dispatcher owner for the engine's tests: one RecordingProcessor per file
// (none for names in noProcessor), every result kept, and an event set at
// each OnAllTasksFinished. onAllFinished runs inside that call when set.
// writeEvents are set as the named files' bytes arrive.
// onCreateProcessors runs at the start of CreateProcessors when set.
#include <windows.h>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloaderTaskProcessor.h"
#include "download/RecordingProcessor.h"

class TestOwner : public DownloaderTaskProcessor {
public:
    TestOwner() : allFinished_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    TestOwner(const TestOwner&) = delete;
    TestOwner& operator=(const TestOwner&) = delete;

    std::vector<DownloadDataProcessor*> CreateProcessors(const SegmentDownloadTaskInfo& segment) override {
        if (onCreateProcessors) onCreateProcessors(segment);
        ScopedLock hold(lock_);
        std::vector<DownloadDataProcessor*> made;
        for (const DownloadTaskInfo& info : segment.files) {
            if (noProcessor.count(info.name)) {
                made.push_back(nullptr);
                continue;
            }
            std::unique_ptr<RecordingProcessor>& p = processors_[info.name];
            p.reset(new RecordingProcessor(info));
            auto event = writeEvents.find(info.name);
            if (event != writeEvents.end()) p->writeEvent = event->second;
            made.push_back(p.get());
        }
        ++segments_;
        return made;
    }
    void OnTaskResult(const DownloadTaskResultInfo& result) override {
        ScopedLock hold(lock_);
        results_.push_back(result);
        ::SetEvent(resultArrived_.Get());
    }
    void OnAllTasksFinished() override {
        {
            ScopedLock hold(lock_);
            ++finishedCalls_;
        }
        if (onAllFinished) onAllFinished();
        ::SetEvent(allFinished_.Get());
    }

    bool WaitAllFinished(DWORD timeoutMs = 20000) {
        return ::WaitForSingleObject(allFinished_.Get(), timeoutMs) == WAIT_OBJECT_0;
    }
    // Waits until count results in all have arrived.
    bool WaitResults(size_t count, DWORD timeoutMs = 20000) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        for (;;) {
            if (Results().size() >= count) return true;
            const ULONGLONG now = ::GetTickCount64();
            if (now >= end || ::WaitForSingleObject(resultArrived_.Get(), static_cast<DWORD>(end - now)) != WAIT_OBJECT_0) {
                return Results().size() >= count;
            }
        }
    }
    std::vector<DownloadTaskResultInfo> Results() {
        ScopedLock hold(lock_);
        return results_;
    }
    // The result code per file name (the last one reported).
    std::map<std::wstring, int32_t> Codes() {
        std::map<std::wstring, int32_t> codes;
        for (const auto& r : Results()) codes[r.info.name] = r.resultCode;
        return codes;
    }
    std::string BytesOf(const std::wstring& name) {
        ScopedLock hold(lock_);
        auto it = processors_.find(name);
        return it == processors_.end() ? std::string("<none>") : it->second->bytes;
    }
    int FinishedCalls() {
        ScopedLock hold(lock_);
        return finishedCalls_;
    }
    // Segments workers have taken and asked processors for.
    int SegmentsTaken() {
        ScopedLock hold(lock_);
        return segments_;
    }

    std::set<std::wstring> noProcessor;
    // Set at every Write to the named files' processors (not owned).
    std::map<std::wstring, HANDLE> writeEvents;
    std::function<void()> onAllFinished;
    // Runs on the worker first thing in CreateProcessors, when set.
    std::function<void(const SegmentDownloadTaskInfo&)> onCreateProcessors;

private:
    CriticalSection lock_;
    std::map<std::wstring, std::unique_ptr<RecordingProcessor>> processors_;
    std::vector<DownloadTaskResultInfo> results_;
    int finishedCalls_ = 0;
    int segments_ = 0;
    ScopedHandle allFinished_;
    ScopedHandle resultArrived_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};
