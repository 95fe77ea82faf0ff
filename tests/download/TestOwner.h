#pragma once
// A dispatcher owner for the engine's tests: one RecordingProcessor per file
// (none for names in noProcessor), every result kept, and an event set at
// each OnAllTasksFinished. onAllFinished runs inside that call when set.
// writeEvents are set as the named files' bytes arrive.
// onCreateProcessor runs at the start of CreateProcessor when set.
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

    DownloadDataProcessor* CreateProcessor(const DownloadTaskInfo& info) override {
        if (onCreateProcessor) onCreateProcessor(info);
        ScopedLock hold(lock_);
        if (noProcessor.count(info.name)) return nullptr;
        std::unique_ptr<RecordingProcessor>& p = processors_[info.name];
        p.reset(new RecordingProcessor(info));
        auto event = writeEvents.find(info.name);
        if (event != writeEvents.end()) p->writeEvent = event->second;
        return p.get();
    }
    void OnTaskResult(const DownloadTaskResultInfo& result) override {
        ScopedLock hold(lock_);
        results_.push_back(result);
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

    std::set<std::wstring> noProcessor;
    // Set at every Write to the named files' processors (not owned).
    std::map<std::wstring, HANDLE> writeEvents;
    std::function<void()> onAllFinished;
    // Runs on the worker first thing in CreateProcessor, when set.
    std::function<void(const DownloadTaskInfo&)> onCreateProcessor;

private:
    CriticalSection lock_;
    std::map<std::wstring, std::unique_ptr<RecordingProcessor>> processors_;
    std::vector<DownloadTaskResultInfo> results_;
    int finishedCalls_ = 0;
    ScopedHandle allFinished_;
};
