#include "update/CDNResourceDownloader.h"

#include <cwchar>

#include "update/CDNResourceConfigDataProcessor.h"
#include "update/CDNResourceDataProcessor.h"
#include "update/ChunkDataProcessor.h"
#include "update/ChunkedFileAssembly.h"
#include "update/LauncherStaging.h"
#include "update/ListSignature.h"
#include "update/ResourcePath.h"
#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kPackageFileName[] = L"tq_game.tqpkg";
const int32_t kDownloaderThreads = 3;
const uint64_t kOneWorkerLimit = 1 << 20;  // bytes a second
// The task name of the list's statement; the list's own task has an empty name.
const wchar_t kStatementTaskName[] = L".sig";
// The content index beside the list, and its statement.
const wchar_t kIndexSuffix[] = L".index";
const wchar_t kIndexStatementTaskName[] = L".index.sig";

bool IsFileKind(int32_t kind) {
    return kind == static_cast<int32_t>(CdnTaskKind::GameResource) ||
           kind == static_cast<int32_t>(CdnTaskKind::LauncherFile);
}

// Processors are kept by task: a file fetched in chunks has a task per chunk.
std::wstring ProcessorKey(const DownloadTaskInfo& task) {
    return task.part < 0 ? task.name : task.name + L'\x1f' + std::to_wstring(task.part);
}

}  // namespace

CCDNResourceDownloader::CCDNResourceDownloader() : dispatcher(new DownloaderTaskDispatcher()) {
    // Made once and kept: the window asks it whether it is idle, and pauses or
    // stops it, from another thread than the one starting the batches.
    dispatcher->owner = this;
    dispatcher->rateLimit = &rateLimit;
}

CCDNResourceDownloader::~CCDNResourceDownloader() {
    // The ending workers still report to this object: end them while it is whole.
    Shutdown();
}

void CCDNResourceDownloader::Shutdown() {
    StopAll();
    dispatcher->Shutdown();
    flusher.Drain();
}

std::wstring CCDNResourceDownloader::StagingFile() const { return StagingFilePath(launcherRoot); }

bool CCDNResourceDownloader::IsIdle() { return dispatcher->IsIdle(); }

void CCDNResourceDownloader::StopAll() {
    {
        // A comparison waiting for the content index goes on without it.
        ScopedLock hold(processorLock);
        stopped = true;
        FinishIndexFetch(false);
    }
    dispatcher->StopAll();
}

void CCDNResourceDownloader::Pause() {
    if (IsFileKind(static_cast<int32_t>(batchKind))) dispatcher->Pause();
}

void CCDNResourceDownloader::Resume() {
    dispatcher->SetMaxThreads(WorkerCount());
    dispatcher->Resume();
}

bool CCDNResourceDownloader::IsPaused() { return dispatcher->IsPaused(); }

void CCDNResourceDownloader::SetSpeedLimit(uint64_t bytesPerSecond) { rateLimit.SetBytesPerSecond(bytesPerSecond); }

int32_t CCDNResourceDownloader::WorkerCount() {
    // Below about 1 MB/s a single connection keeps up with the limit, and
    // fewer connections share the line more evenly with the player's others.
    uint64_t limit = rateLimit.BytesPerSecond();
    return limit != 0 && limit <= kOneWorkerLimit ? 1 : kDownloaderThreads;
}

void CCDNResourceDownloader::NoteResult(int32_t code) {
    ScopedLock hold(statusLock);
    if (batchError == kDownloadOk) batchError = code;
}

void CCDNResourceDownloader::StartConfigDownload() {
    {
        ScopedLock hold(processorLock);
        stopped = false;
    }
    dispatcher->ClearPending();
    dispatcher->Resume();  // a new run is never paused
    StartBatch(std::vector<ResourceUpdateItem>(1), CdnTaskKind::Config);
}

void CCDNResourceDownloader::StartBatch(const std::vector<ResourceUpdateItem>& items, CdnTaskKind kind) {
    ::InterlockedExchange(&queuedTasks, 0);
    ::InterlockedExchange(&finishedTasks, 0);
    {
        ScopedLock hold(statusLock);
        batchError = kDownloadOk;
    }
    {
        ScopedLock hold(bytesLock);
        totalBytes = 0;
        downloadedBytes = 0;
    }
    batchKind = kind;
    dispatcher->SetMaxThreads(WorkerCount());
    if (kind == CdnTaskKind::LauncherFile) {
        DeleteStagingFile(StagingFile());
        SetStagingFlag(StagingFile(), 0);
    }
    const std::wstring& root = kind == CdnTaskKind::LauncherFile ? launcherRoot : resourceFilesFolder;
    bool refused = false;
    std::vector<DownloadTaskInfo> tasks;
    {
        ScopedLock hold(processorLock);
        batchChecks.clear();
        chunkedFiles.clear();
        for (const ResourceUpdateItem& item : items) {
            bool replaces = item.change != ResourceChangeKind::Added || item.fileOnDisk;
            batchChecks[item.name] = ItemCheck{item.cdnMd5, item.sha256, replaces};
        }
        if (IsFileKind(static_cast<int32_t>(kind))) diskSpace.reset(new DiskSpaceGuard(root, freeSpaceFloor, freeSpaceQuery));
    }
    for (const ResourceUpdateItem& item : items) {
        std::wstring path;
        if (IsFileKind(static_cast<int32_t>(kind)) && !ResourcePathUnder(root, item.name, &path)) {
            // A name from the network that would write outside the root: never
            // fetched, and the batch cannot succeed.
            DebugTrace(L"资源路径非法\t" + item.name);
            refused = true;
            continue;
        }
        DownloadTaskInfo whole(BuildTaskUrl(item.remoteFolder, kind), item.name, static_cast<int32_t>(kind),
                               item.remoteFolder, item.offset, item.size);
        std::vector<DownloadTaskInfo> itemTasks;
        if (item.chunked && kind == CdnTaskKind::GameResource) {
            {
                ScopedLock hold(processorLock);
                chunkedFiles[item.name] = ChunkedFile{item.chunked, whole, false};
            }
            for (uint32_t index : item.chunked->MissingChunks()) {
                DownloadTaskInfo piece = whole;
                piece.offset = item.offset + item.chunked->TaskOffset(index);
                piece.size = item.chunked->TaskLength(index);
                piece.part = index;
                itemTasks.push_back(piece);
            }
            if (itemTasks.empty()) {
                // Every chunk was on the disk: a task without bytes installs it.
                DownloadTaskInfo install = whole;
                install.size = 0;
                install.part = ChunkDataProcessor::kNoChunk;
                itemTasks.push_back(install);
            }
        } else {
            itemTasks.push_back(whole);
        }
        for (const DownloadTaskInfo& task : itemTasks) {
            tasks.push_back(task);
            {
                ScopedLock hold(bytesLock);
                totalBytes += task.size;
            }
            ::InterlockedIncrement(&queuedTasks);
        }
    }
    if (refused) NoteResult(kDownloadBeginRefused);
    if (refused && tasks.empty()) {
        // No worker will start, so nobody else would end the batch.
        OnAllTasksFinished();
        return;
    }
    dispatcher->AddTasks(tasks);
}

std::wstring CCDNResourceDownloader::BuildTaskUrl(const std::wstring& remoteFolder, CdnTaskKind kind) const {
    switch (kind) {
        case CdnTaskKind::Config: {
            SYSTEMTIME now;
            ::GetLocalTime(&now);
            wchar_t stamp[32];
            swprintf(stamp, 32, L"%04u%02u%02u%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                     now.wMinute, now.wSecond);
            return configUrl + L"?r=" + stamp;
        }
        case CdnTaskKind::GameResource:
        case CdnTaskKind::LauncherFile:
            return resourceBaseUrl + (remoteFolder.empty() ? L"" : remoteFolder + L"/") + kPackageFileName;
    }
    return std::wstring();
}

DownloadDataProcessor* CCDNResourceDownloader::CreateProcessor(const DownloadTaskInfo& task) {
    std::unique_ptr<DownloadDataProcessor> made;
    if (task.kind == static_cast<int32_t>(CdnTaskKind::Config)) {
        // A statement larger than its limit fails like a missing one.
        bool statement = task.name == kStatementTaskName || task.name == kIndexStatementTaskName;
        CDNResourceConfigDataProcessor* config = new CDNResourceConfigDataProcessor(
            task, statement ? CDNResourceConfigDataProcessor::kMaxStatementBytes
                            : task.name == kIndexSuffix ? ContentIndex::kMaxIndexBytes
                                                        : CDNResourceConfigDataProcessor::kMaxListBytes);
        config->optional = task.name == kIndexSuffix || task.name == kIndexStatementTaskName;
        made.reset(config);
    } else if (IsFileKind(task.kind) && task.part >= 0) {
        ScopedLock hold(processorLock);
        auto chunked = chunkedFiles.find(task.name);
        if (chunked == chunkedFiles.end()) return nullptr;
        ChunkDataProcessor* chunk =
            new ChunkDataProcessor(task, chunked->second.assembly, static_cast<uint32_t>(task.part));
        made.reset(chunk);
        chunk->onProgress = [this](int64_t count) { OnProcessorProgress(count); };
        chunk->onInstalled = [this, task]() {
            if (onFileInstalled) onFileInstalled(task);
        };
    } else if (IsFileKind(task.kind)) {
        CDNResourceDataProcessor* file = new CDNResourceDataProcessor(task);
        made.reset(file);
        file->rootFolder = task.kind == static_cast<int32_t>(CdnTaskKind::GameResource) ? resourceFilesFolder
                                                                                        : launcherRoot;
        file->onProgress = [this](int64_t count) { OnProcessorProgress(count); };
    } else {
        return nullptr;
    }
    ScopedLock hold(processorLock);
    if (IsFileKind(task.kind) && task.part < 0) {
        CDNResourceDataProcessor* file = static_cast<CDNResourceDataProcessor*>(made.get());
        auto check = batchChecks.find(task.name);
        // Without an item there is no MD5 to check against: the file is refused at its end.
        if (check != batchChecks.end()) {
            file->expectedMd5 = check->second.md5;
            file->expectedSha256 = check->second.sha256;
            file->replacesInstalledFile = check->second.installed;
        }
        file->diskSpace = diskSpace.get();
        if (task.kind == static_cast<int32_t>(CdnTaskKind::GameResource)) {
            file->onInstalled = [this, task]() {
                if (onFileInstalled) onFileInstalled(task);
            };
            // Launcher files stay with the worker: it reads each back for the staging file.
            file->flusher = &flusher;
        }
    }
    DownloadDataProcessor* processor = made.get();
    if (!processors.emplace(ProcessorKey(task), std::move(made)).second) {
        DebugTrace(L"CDNResourceConfigDataProcessor插入失败\t" + task.name);
        return nullptr;  // the new processor goes with `made`
    }
    return processor;
}

void CCDNResourceDownloader::OnTaskResult(const DownloadTaskResultInfo& result) {
    ScopedLock hold(processorLock);
    auto found = processors.find(ProcessorKey(result.info));
    if (found == processors.end()) {
        // The comparison waits for the index: without a processor it has none.
        if (result.info.name == kIndexSuffix || result.info.name == kIndexStatementTaskName) FinishIndexFetch(false);
        return;
    }
    if (result.info.kind == static_cast<int32_t>(CdnTaskKind::Config)) {
        OnConfigResult(result, found->second.get());
    } else if (IsFileKind(result.info.kind)) {
        OnFileResult(result, found->second.get());
    }
    processors.erase(found);
}

void CCDNResourceDownloader::OnConfigResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor) {
    if (result.info.name == kIndexSuffix || result.info.name == kIndexStatementTaskName) {
        OnIndexResult(result, processor);
        return;
    }
    NoteResult(result.resultCode);
    if (result.info.name == kStatementTaskName) {
        OnStatementResult(result, processor);
        return;
    }
    std::string bytes;
    bool received = result.resultCode == kDownloadOk && processor->GetContent(&bytes);
    if (received && listTrust.Required()) {
        StartStatementDownload(bytes);
        return;
    }
    ReportConfigList(received, bytes);
}

void CCDNResourceDownloader::StartStatementDownload(const std::string& listBytes) {
    listAwaitingStatement = listBytes;
    // Fetched fresh like the list: a cached statement of an older list would not match.
    std::vector<DownloadTaskInfo> tasks(1, DownloadTaskInfo(StatementUrlFor(BuildTaskUrl(L"", CdnTaskKind::Config)),
                                                            kStatementTaskName,
                                                            static_cast<int32_t>(CdnTaskKind::Config), L"", -1, 0));
    dispatcher->AddTasks(tasks);
}

void CCDNResourceDownloader::OnStatementResult(const DownloadTaskResultInfo& result,
                                               DownloadDataProcessor* processor) {
    std::string listBytes;
    listBytes.swap(listAwaitingStatement);
    std::string statement;
    if (result.resultCode != kDownloadOk || !processor->GetContent(&statement)) statement.clear();
    // Checked without the URL: the launcher server's answer naming it is not
    // signed, so only the statement's own channel says what the list is for.
    ListCheck check = listTrust.Check(listBytes, statement);
    if (check != ListCheck::Accepted) {
        // Nothing of the list is used: no comparison, no deletion, no download.
        DebugTrace(std::wstring(L"资源列表校验失败\t") + ListCheckName(check));
        if (onConfigResult) onConfigResult(CDNDownloadState::Unverified, std::wstring());
        return;
    }
    DebugTrace(L"资源列表校验通过");
    ReportConfigList(true, listBytes);
}

void CCDNResourceDownloader::ReportConfigList(bool received, const std::string& bytes) {
    CDNDownloadState state = CDNDownloadState::Failed;
    std::wstring text;
    if (received) {
        // A list holds no zero byte; read up to one, a list would end early
        // there, and lines lost at the end look like withdrawn resources.
        if (bytes.find('\0') == std::string::npos) {
            if (IsUtf8Text(bytes)) {
                Utf8ToText(bytes.c_str(), &text);
            } else {
                text = AnsiToText(bytes);
            }
            state = CDNDownloadState::Succeeded;
            if (!ListDigestOf(bytes, &acceptedListDigest)) acceptedListDigest.clear();
        } else {
            DebugTrace(L"资源列表含有零字节");
        }
    }
    if (onConfigResult) onConfigResult(state, text);
}

void CCDNResourceDownloader::OnFileResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor) {
    int32_t code = result.resultCode;
    // Back in the queue (a pause, or a stop): neither done nor failed.
    if (code == kDownloadRequeued) return;
    // A launcher file that cannot be staged is as lost as one that never came.
    if (code == kDownloadOk && result.info.kind == static_cast<int32_t>(CdnTaskKind::LauncherFile) &&
        !StageLauncherFile(StagingFile(), result, static_cast<CDNResourceDataProcessor*>(processor))) {
        DebugTrace(L"写入Launcher暂存文件失败\t" + result.info.name);
        code = kDownloadFailed;
    }
    // A chunk that cannot be had costs its file a whole fetch, not the batch.
    bool chunkFailed = code != kDownloadOk && code != kDownloadCancelled && result.info.part >= 0;
    if (chunkFailed && (FetchWholeInstead(result.info.name) || chunkedFiles.count(result.info.name))) {
        code = kDownloadOk;
    }
    if (code != kDownloadOk) NoteResult(code);
    ::InterlockedIncrement(&finishedTasks);
    if (code != kDownloadOk) {
        dispatcher->StopAll();
        return;
    }
    if (result.info.part >= 0) return;  // a file rebuilt from chunks tells its end through onFileInstalled
    if (onTaskFinished) onTaskFinished(result.info, CDNDownloadState::Succeeded);
}

void CCDNResourceDownloader::OnAllTasksFinished() {
    if (batchKind == CdnTaskKind::Config) return;
    int32_t status;
    {
        ScopedLock hold(statusLock);
        status = batchError;
    }
    // Every queued task must have reported: a segment dropped without results
    // (a worker stopped between taking it and fetching it) is no success.
    bool allReported = ::InterlockedCompareExchange(&finishedTasks, 0, 0) ==
                       ::InterlockedCompareExchange(&queuedTasks, 0, 0);
    // Every file of the batch is on the disk (and recorded) before its end is told.
    bool durable = flusher.Drain();
    if (!durable) DebugTrace(L"写入磁盘失败");
    if (status == kDownloadOk && allReported && durable) {
        if (onBatchFinished) onBatchFinished(CDNDownloadState::Succeeded, static_cast<int32_t>(batchKind));
        return;
    }
    // Paused, with files still queued: no failure, and no file is given up.
    if (status == kDownloadOk && durable && dispatcher->IsPaused()) {
        DebugTrace(L"下载已暂停");
        if (onBatchPaused) onBatchPaused(static_cast<int32_t>(batchKind));
        return;
    }
    if (status != kDownloadOk) DebugTrace(L"下载批次失败\t错误代码:" + IntToText(status));
    if (batchKind == CdnTaskKind::LauncherFile) DeleteStagingFile(StagingFile());
    if (onBatchFinished) onBatchFinished(CDNDownloadState::Failed, static_cast<int32_t>(batchKind));
}

void CCDNResourceDownloader::OnProcessorProgress(int64_t count) {
    // Reported while the lock is held, so reports from different workers reach
    // the client in counting order and the last one carries the final count.
    ScopedLock hold(bytesLock);
    downloadedBytes += count;
    if (onDownloadProgress) onDownloadProgress(downloadedBytes, totalBytes);
}

bool CCDNResourceDownloader::FetchWholeInstead(const std::wstring& name) {
    auto chunked = chunkedFiles.find(name);
    if (chunked == chunkedFiles.end() || chunked->second.fetchedWhole) return false;
    chunked->second.fetchedWhole = true;
    chunked->second.assembly->Abandon();
    DebugTrace(L"分块下载失败,下载整个文件\t" + name);
    std::vector<DownloadTaskInfo> whole(1, chunked->second.whole);
    {
        ScopedLock hold(bytesLock);
        totalBytes += whole.front().size;
    }
    ::InterlockedIncrement(&queuedTasks);
    dispatcher->AddTasks(whole);
    return true;
}

bool CCDNResourceDownloader::FetchContentIndex(ContentIndex* index) {
    {
        ScopedLock hold(processorLock);
        if (stopped || acceptedListDigest.empty()) return false;
        indexBytes.clear();
        indexUsable = false;
        ::ResetEvent(indexFetched.Get());
        std::vector<DownloadTaskInfo> tasks(
            1, DownloadTaskInfo(CompanionUrlFor(BuildTaskUrl(L"", CdnTaskKind::Config), kIndexSuffix), kIndexSuffix,
                                static_cast<int32_t>(CdnTaskKind::Config), L"", -1, 0));
        dispatcher->AddTasks(tasks);
    }
    ::WaitForSingleObject(indexFetched.Get(), INFINITE);
    ScopedLock hold(processorLock);
    if (!indexUsable) return false;
    ContentIndexFault fault = index->Parse(indexBytes, acceptedListDigest);
    std::string().swap(indexBytes);
    if (fault != ContentIndexFault::None) {
        DebugTrace(std::wstring(L"资源索引无效\t") + ContentIndexFaultName(fault));
        return false;
    }
    return true;
}

void CCDNResourceDownloader::OnIndexResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor) {
    std::string bytes;
    bool received = result.resultCode == kDownloadOk && processor->GetContent(&bytes);
    if (result.info.name == kIndexSuffix) {
        if (!received) {
            DebugTrace(L"没有资源索引\t" + IntToText(result.resultCode));
            FinishIndexFetch(false);
            return;
        }
        indexBytes.swap(bytes);
        if (!listTrust.Required()) {
            FinishIndexFetch(true);
            return;
        }
        std::vector<DownloadTaskInfo> tasks(
            1, DownloadTaskInfo(StatementUrlFor(CompanionUrlFor(BuildTaskUrl(L"", CdnTaskKind::Config), kIndexSuffix)),
                                kIndexStatementTaskName, static_cast<int32_t>(CdnTaskKind::Config), L"", -1, 0));
        dispatcher->AddTasks(tasks);
        return;
    }
    // Signed with the list, or not used: an index could otherwise name chunks
    // of another release, or SHA-256 values nobody vouched for.
    ListCheck check = listTrust.CheckCompanion(indexBytes, received ? bytes : std::string());
    if (check != ListCheck::Accepted) DebugTrace(std::wstring(L"资源索引校验失败\t") + ListCheckName(check));
    FinishIndexFetch(check == ListCheck::Accepted);
}

void CCDNResourceDownloader::FinishIndexFetch(bool usable) {
    indexUsable = usable;
    if (!usable) std::string().swap(indexBytes);
    ::SetEvent(indexFetched.Get());
}
