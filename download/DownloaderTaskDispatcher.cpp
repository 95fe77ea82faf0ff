#include "download/DownloaderTaskDispatcher.h"

#include <algorithm>
#include <map>

#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

namespace {

// Touching files are packed into one request while it is below this size; the
// test comes before a file is added, so the last file may take it beyond.
const uint32_t kSegmentPackLimit = 10485760;

}  // namespace

DownloaderTaskDispatcher::~DownloaderTaskDispatcher() { Shutdown(); }

void DownloaderTaskDispatcher::Shutdown() {
    std::vector<DownloaderTask*> tasks;
    {
        ScopedLock hold(lock);
        shuttingDown_ = true;
        pendingSegments.clear();
        StopAll();
        for (auto& t : runningTasks) tasks.push_back(t.get());
        for (auto& t : idleTasks) tasks.push_back(t.get());
    }
    // Without the lock: the ending workers take it in OnWorkerFinished.
    for (DownloaderTask* t : tasks) t->Join();
}

std::vector<SegmentDownloadTaskInfo> DownloaderTaskDispatcher::GroupIntoSegments(
    std::vector<DownloadTaskInfo>& files) {
    std::sort(files.begin(), files.end(),
              [](const DownloadTaskInfo& a, const DownloadTaskInfo& b) { return a.offset < b.offset; });
    // std::wstring compares UTF-16 code units one by one: ordinal, case-sensitive.
    std::map<std::wstring, std::vector<SegmentDownloadTaskInfo>> byKey;
    for (const DownloadTaskInfo& file : files) {
        std::vector<SegmentDownloadTaskInfo>& list = byKey[file.url + L"?" + file.postData];
        if (!list.empty()) {
            SegmentDownloadTaskInfo& last = list.back();
            // The last test keeps length from wrapping with a file near 4 GiB.
            if (last.length < kSegmentPackLimit &&
                last.rangeStart + static_cast<int64_t>(last.length) == file.offset &&
                file.size <= UINT32_MAX - last.length) {
                last.files.push_back(file);
                last.length += file.size;
                if (file.finishByTick != 0 && (last.finishByTick == 0 || file.finishByTick < last.finishByTick)) {
                    last.finishByTick = file.finishByTick;
                }
                continue;
            }
        }
        list.push_back(SegmentDownloadTaskInfo(file));
    }
    std::vector<SegmentDownloadTaskInfo> segments;
    for (auto& entry : byKey) {
        for (auto& segment : entry.second) segments.push_back(std::move(segment));
    }
    return segments;
}

void DownloaderTaskDispatcher::AddTasks(std::vector<DownloadTaskInfo>& files) {
    std::vector<SegmentDownloadTaskInfo> segments = GroupIntoSegments(files);
    {
        ScopedLock hold(lock);
        for (auto& segment : segments) pendingSegments.push_back(std::move(segment));
    }
    StartWorkers();
}

void DownloaderTaskDispatcher::StartWorkers() {
    ScopedLock hold(lock);
    if (shuttingDown_ || paused_) return;
    int32_t free = maxThreads - static_cast<int32_t>(runningTasks.size());
    if (free < 1) {
        // The running workers take the new segments themselves.
        DebugTrace(L"下载线程已达到上限\t" + IntToText(maxThreads));
        return;
    }
    DebugTrace(L"开始建立下载任务，剩余可用线程\t" + IntToText(free));
    if (static_cast<int32_t>(pendingSegments.size()) < free) {
        free = static_cast<int32_t>(pendingSegments.size());
        DebugTrace(L"检测到只需要使用线程数\t" + IntToText(free));
    }
    for (int32_t i = 0; i < free; ++i) {
        std::unique_ptr<DownloaderTask> task;
        if (!idleTasks.empty()) {
            task = std::move(idleTasks.front());
            idleTasks.erase(idleTasks.begin());
        } else {
            task = NewTask();
        }
        DownloaderTask* started = task.get();
        if (started->Start()) {
            runningTasks.push_back(std::move(task));
        } else {
            idleTasks.push_back(std::move(task));
            DebugTrace(L"启动下载线程失败\t" + IntToText(static_cast<int32_t>(::GetLastError())));
        }
    }
}

std::unique_ptr<DownloaderTask> DownloaderTaskDispatcher::NewTask() {
    // The callables are bound once, when the task is made: a task restarted from
    // inside its own onFinished must not have that callable replaced under it.
    std::unique_ptr<DownloaderTask> task(new DownloaderTask());
    task->fetchSegment = [this](SegmentDownloadTaskInfo* out) { return FetchSegment(out); };
    task->onFinished = [this](DownloaderTask* t) { OnWorkerFinished(t); };
    task->createProcessors = [this](const SegmentDownloadTaskInfo& segment) {
        return owner ? owner->CreateProcessors(segment) : std::vector<DownloadDataProcessor*>();
    };
    task->onResult = [this](const DownloadTaskResultInfo& result) {
        if (owner) owner->OnTaskResult(result);
    };
    task->returnSegment = [this](const SegmentDownloadTaskInfo& segment) { ReturnSegment(segment); };
    task->rateLimit = rateLimit;
    task->hosts = &hosts;
    return task;
}

int32_t DownloaderTaskDispatcher::FetchSegment(SegmentDownloadTaskInfo* out) {
    ScopedLock hold(lock);
    if (paused_ || pendingSegments.empty()) return 0;
    *out = std::move(pendingSegments.front());
    pendingSegments.pop_front();
    return 1;
}

void DownloaderTaskDispatcher::OnWorkerFinished(DownloaderTask* task) {
    {
        ScopedLock hold(lock);
        // Segments queued after the worker last looked (work added while it was
        // ending, which found it still counted among the running ones), or a
        // resume since the pause that stopped it: it stays running and takes
        // the queue again, and the owner hears no end meanwhile. A worker
        // stopped otherwise ends.
        if ((keepEndingWorkers_ || task->IsRunning()) && !paused_ && !shuttingDown_ && !pendingSegments.empty() &&
            task->Start()) {
            return;
        }
        for (size_t i = 0; i < runningTasks.size();) {
            if (runningTasks[i].get() == task || runningTasks[i]->Id() == task->Id()) {
                idleTasks.push_back(std::move(runningTasks[i]));
                runningTasks.erase(runningTasks.begin() + i);
            } else {
                ++i;
            }
        }
        if (!runningTasks.empty() || !owner) return;
    }
    // The owner is called without the lock: whatever it does or waits for, no
    // other worker and no caller of this dispatcher waits on it meanwhile.
    owner->OnAllTasksFinished();
}

void DownloaderTaskDispatcher::StopAll() {
    ScopedLock hold(lock);
    keepEndingWorkers_ = false;
    for (auto& task : runningTasks) task->Stop();
}

void DownloaderTaskDispatcher::ReturnSegment(const SegmentDownloadTaskInfo& segment) {
    ScopedLock hold(lock);
    pendingSegments.push_front(segment);
}

void DownloaderTaskDispatcher::Pause() {
    ScopedLock hold(lock);
    paused_ = true;
    keepEndingWorkers_ = false;
    for (auto& task : runningTasks) task->Stop();
}

void DownloaderTaskDispatcher::Resume() {
    {
        ScopedLock hold(lock);
        if (!paused_) return;
        paused_ = false;
        if (shuttingDown_) return;
        // A worker still ending from the pause goes on instead (OnWorkerFinished).
        keepEndingWorkers_ = true;
    }
    StartWorkers();
}

void DownloaderTaskDispatcher::SetMaxThreads(int32_t count) {
    ScopedLock hold(lock);
    maxThreads = count;
}

void DownloaderTaskDispatcher::ClearPending() {
    ScopedLock hold(lock);
    pendingSegments.clear();
}

bool DownloaderTaskDispatcher::IsIdle() {
    ScopedLock hold(lock);
    return runningTasks.empty();
}
