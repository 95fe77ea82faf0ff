#include "update/CDNResourceDownloader.h"

#include <cwchar>
#include <utility>

#include "update/CDNResourceConfigDataProcessor.h"
#include "update/CdnAddress.h"
#include "update/CDNResourceDataProcessor.h"
#include "update/ChunkDataProcessor.h"
#include "update/ChunkedFileAssembly.h"
#include "update/LauncherStaging.h"
#include "update/ListSignature.h"
#include "update/ResourcePath.h"
#include "update/UpdateTimings.h"
#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kPackageFileName[] = L"tq_game.tqpkg";
const int32_t kDownloaderThreads = 3;
const uint64_t kOneWorkerLimit = 1 << 20;  // bytes a second
// The content index beside the list.
const wchar_t kIndexSuffix[] = L".index";
// How often a running batch reports the bytes received.
const DWORD kProgressReportMs = 100;

// What collects the list, or one of its companions, in memory: up to maxBytes;
// optional for a file the update can do without (one attempt).
std::unique_ptr<DownloadDataProcessor> TextProcessor(const DownloadTaskInfo& info, uint32_t maxBytes, bool optional) {
    std::unique_ptr<CDNResourceConfigDataProcessor> text(new CDNResourceConfigDataProcessor(info, maxBytes));
    text->optional = optional;
    return std::unique_ptr<DownloadDataProcessor>(text.release());
}

// The text of the list, or one of its companions, when it arrived whole;
// taken from its processor, which holds nothing after.
bool ReceivedText(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor, std::string* bytes) {
    if (result.resultCode != kDownloadOk || !processor) return false;
    static_cast<CDNResourceConfigDataProcessor*>(processor)->TakeContent(bytes);
    return true;
}

}  // namespace

// ------------------------------------------------------------------ the tasks

class CCDNResourceDownloader::Task {
public:
    explicit Task(bool ofFileBatch) : ofFileBatch(ofFileBatch) {}
    virtual ~Task() = default;
    // The processor for the task's bytes (info: the task as the worker took
    // it), or null to leave it out.
    virtual std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader& d,
                                                                 const DownloadTaskInfo& info) = 0;
    // The outcome of an attempt at the task, with the processor made for it
    // (null when none was). True when the task is over; false when it went
    // back to the queue and comes again.
    virtual bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                          DownloadDataProcessor* processor) = 0;

    const bool ofFileBatch;  // a file or chunk of the file batch, which ends with it
    std::unique_ptr<DownloadDataProcessor> processor;  // while a worker fetches the task
};

// The CDN list.
class CCDNResourceDownloader::ListTask : public Task {
public:
    ListTask() : Task(false) {}
    std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader&, const DownloadTaskInfo& info) override {
        return TextProcessor(info, CDNResourceConfigDataProcessor::kMaxListBytes, false);
    }
    bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                  DownloadDataProcessor* processor) override;
};

// The list's statement, fetched once the list has arrived.
class CCDNResourceDownloader::StatementTask : public Task {
public:
    explicit StatementTask(std::string listBytes) : Task(false), listBytes_(std::move(listBytes)) {}
    std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader&, const DownloadTaskInfo& info) override {
        // A statement larger than its limit fails like a missing one.
        return TextProcessor(info, CDNResourceConfigDataProcessor::kMaxStatementBytes, false);
    }
    bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                  DownloadDataProcessor* processor) override;

private:
    std::string listBytes_;
};

// The content index: one attempt, within its limit.
class CCDNResourceDownloader::IndexTask : public Task {
public:
    IndexTask() : Task(false) {}
    std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader&, const DownloadTaskInfo& info) override {
        return TextProcessor(info, ContentIndex::kMaxIndexBytes, true);
    }
    bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                  DownloadDataProcessor* processor) override;
};

// The index's statement, within what is left of the index's limit.
class CCDNResourceDownloader::IndexStatementTask : public Task {
public:
    IndexStatementTask() : Task(false) {}
    std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader&, const DownloadTaskInfo& info) override {
        return TextProcessor(info, CDNResourceConfigDataProcessor::kMaxStatementBytes, true);
    }
    bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                  DownloadDataProcessor* processor) override;
};

// A game resource or launcher file fetched whole.
class CCDNResourceDownloader::FileTask : public Task {
public:
    FileTask(CdnTaskKind kind, const ResourceUpdateItem& item, uint32_t size)
        : Task(true),
          kind_(kind),
          md5_(item.cdnMd5),
          sha256_(item.sha256),
          replaces_(item.change != ResourceChangeKind::Added || item.fileOnDisk),
          size_(size) {}
    std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader& d, const DownloadTaskInfo& info) override;
    bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                  DownloadDataProcessor* processor) override;

private:
    const CdnTaskKind kind_;
    const std::wstring md5_;
    const std::string sha256_;
    const bool replaces_;  // an installed file may be there: replaced only once verified
    const uint32_t size_;
    int64_t counted_ = 0;  // the most bytes any attempt received
};

// A file rebuilt from chunks, shared by the tasks of its chunks.
struct CCDNResourceDownloader::ChunkedFile {
    std::shared_ptr<ChunkedFileAssembly> assembly;
    DownloadTaskInfo whole;   // the task that fetches it whole instead
    ResourceUpdateItem item;  // its checks, for that task
    bool fetchedWhole = false;
};

// One missing chunk of a file rebuilt from chunks, or (kNoChunk) the
// installation of one whose chunks were all on the disk.
class CCDNResourceDownloader::ChunkTask : public Task {
public:
    ChunkTask(std::shared_ptr<ChunkedFile> file, uint32_t chunk, uint32_t size)
        : Task(true), file_(std::move(file)), chunk_(chunk), size_(size) {}
    std::unique_ptr<DownloadDataProcessor> MakeProcessor(CCDNResourceDownloader& d, const DownloadTaskInfo& info) override;
    bool OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                  DownloadDataProcessor* processor) override;

private:
    std::shared_ptr<ChunkedFile> file_;
    const uint32_t chunk_;
    const uint32_t size_;
    int64_t counted_ = 0;
};

bool CCDNResourceDownloader::ListTask::OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                                                DownloadDataProcessor* processor) {
    std::string bytes;
    bool received = ReceivedText(result, processor, &bytes);
    if (received && d.listTrust.Required()) {
        // Fetched fresh like the list: a cached statement of an older list would not match.
        std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> next;
        next.emplace_back(DownloadTaskInfo(StatementUrlFor(d.BuildTaskUrl(L"", CdnTaskKind::Config)),
                                           d.ListName() + L".sig", static_cast<int32_t>(CdnTaskKind::Config), L"",
                                           -1, 0),
                          std::unique_ptr<Task>(new StatementTask(std::move(bytes))));
        d.Queue(std::move(next));
        return true;
    }
    d.ReportConfigList(received, std::move(bytes), result.cause);
    return true;
}

bool CCDNResourceDownloader::StatementTask::OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                                                     DownloadDataProcessor* processor) {
    std::string statement;
    if (!ReceivedText(result, processor, &statement)) statement.clear();
    // Checked without the URL: the launcher server's answer naming it is not
    // signed, so only the statement's own channel says what the list is for.
    ListCheck check = d.listTrust.Check(listBytes_, statement);
    if (check != ListCheck::Accepted) {
        // Nothing of the list is used: no comparison, no deletion, no download.
        DebugTrace(std::wstring(L"资源列表校验失败\t") + ListCheckName(check));
        if (d.onConfigResult) d.onConfigResult(CDNDownloadState::Unverified, std::wstring(), result.cause);
        return true;
    }
    DebugTrace(L"资源列表校验通过");
    d.ReportConfigList(true, std::move(listBytes_), FailureCause());
    return true;
}

bool CCDNResourceDownloader::IndexTask::OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                                                 DownloadDataProcessor* processor) {
    std::string bytes;
    if (!ReceivedText(result, processor, &bytes)) {
        DebugTrace(L"没有资源索引\t" + IntToText(result.resultCode));
        d.FinishIndexFetch(false);
        return true;
    }
    d.indexBytes_.swap(bytes);
    if (!d.listTrust.Required()) {
        d.FinishIndexFetch(true);
        return true;
    }
    std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> next;
    DownloadTaskInfo statement(StatementUrlFor(CompanionUrlFor(d.BuildTaskUrl(L"", CdnTaskKind::Config), kIndexSuffix)),
                               d.ListName() + kIndexSuffix + L".sig", static_cast<int32_t>(CdnTaskKind::Config), L"",
                               -1, 0);
    statement.finishByTick = result.info.finishByTick;  // the index's limit holds for both
    next.emplace_back(statement, std::unique_ptr<Task>(new IndexStatementTask()));
    d.Queue(std::move(next));
    return true;
}

bool CCDNResourceDownloader::IndexStatementTask::OnResult(CCDNResourceDownloader& d,
                                                          const DownloadTaskResultInfo& result,
                                                          DownloadDataProcessor* processor) {
    // Signed with the list, or not used: an index could otherwise name chunks
    // of another release, or SHA-256 values nobody vouched for.
    std::string statement;
    if (!ReceivedText(result, processor, &statement)) statement.clear();
    ListCheck check = d.listTrust.CheckCompanion(d.indexBytes_, statement);
    if (check != ListCheck::Accepted) DebugTrace(std::wstring(L"资源索引校验失败\t") + ListCheckName(check));
    d.FinishIndexFetch(check == ListCheck::Accepted);
    return true;
}

std::unique_ptr<DownloadDataProcessor> CCDNResourceDownloader::FileTask::MakeProcessor(CCDNResourceDownloader& d,
                                                                                        const DownloadTaskInfo& info) {
    std::unique_ptr<CDNResourceDataProcessor> file(new CDNResourceDataProcessor(info));
    file->rootFolder = kind_ == CdnTaskKind::GameResource ? d.resourceFilesFolder : d.launcherRoot;
    file->expectedMd5 = md5_;
    file->expectedSha256 = sha256_;
    file->replacesInstalledFile = replaces_;
    file->diskSpace = d.diskSpace_.get();
    // What earlier attempts received counts once: this one counts only beyond it.
    file->maxWritten = counted_;
    volatile LONGLONG* received = &d.receivedBytes_;
    file->onProgress = [received](int64_t count) { ::InterlockedExchangeAdd64(received, count); };
    if (kind_ == CdnTaskKind::GameResource) {
        const std::wstring name = info.name;
        file->onInstalled = [&d, name]() { d.PostInstalled(name, CdnTaskKind::GameResource); };
        TaskThread* owner = &d.owner_;
        file->onLost = [&d, owner](const FailureCause& cause) {
            owner->Post([&d, cause] { d.FailBatch(cause); });
        };
        // Launcher files stay with the worker: each is read back for the staging file.
        file->flusher = &d.flusher_;
    }
    return std::unique_ptr<DownloadDataProcessor>(file.release());
}

bool CCDNResourceDownloader::FileTask::OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                                                DownloadDataProcessor* processor) {
    CDNResourceDataProcessor* file = static_cast<CDNResourceDataProcessor*>(processor);
    if (file && file->maxWritten > counted_) counted_ = file->maxWritten;
    // Back in the queue (a pause, or a stop): neither done nor failed.
    if (result.resultCode == kDownloadRequeued) return false;
    int32_t code = result.resultCode;
    FailureCause cause = result.cause;
    // A launcher file that cannot be staged is as lost as one that never came.
    if (code == kDownloadOk && kind_ == CdnTaskKind::LauncherFile &&
        !StageLauncherFile(d.StagingFile(), result, file)) {
        cause = DiskFailure(::GetLastError(), result.info.name);
        DebugTrace(L"写入Launcher暂存文件失败\t" + result.info.name);
        code = kDownloadFailed;
    }
    d.Settle(counted_, size_);
    if (code == kDownloadOk) {
        // A game resource is told once it is on the disk (onInstalled).
        if (kind_ == CdnTaskKind::LauncherFile && d.onFileInstalled) d.onFileInstalled(result.info.name, kind_);
        return true;
    }
    if (cause.file.empty()) cause.file = result.info.name;
    d.FailBatch(cause);
    return true;
}

std::unique_ptr<DownloadDataProcessor> CCDNResourceDownloader::ChunkTask::MakeProcessor(CCDNResourceDownloader& d,
                                                                                         const DownloadTaskInfo& info) {
    // Fetched whole meanwhile: the chunks still queued are not asked for.
    if (file_->fetchedWhole) return nullptr;
    std::unique_ptr<ChunkDataProcessor> chunk(new ChunkDataProcessor(info, file_->assembly, chunk_));
    chunk->maxWritten = counted_;
    volatile LONGLONG* received = &d.receivedBytes_;
    chunk->onProgress = [received](int64_t count) { ::InterlockedExchangeAdd64(received, count); };
    const std::wstring name = info.name;
    chunk->onInstalled = [&d, name]() { d.PostInstalled(name, CdnTaskKind::GameResource); };
    return std::unique_ptr<DownloadDataProcessor>(chunk.release());
}

bool CCDNResourceDownloader::ChunkTask::OnResult(CCDNResourceDownloader& d, const DownloadTaskResultInfo& result,
                                                 DownloadDataProcessor* processor) {
    ChunkDataProcessor* chunk = static_cast<ChunkDataProcessor*>(processor);
    if (chunk && chunk->maxWritten > counted_) counted_ = chunk->maxWritten;
    if (result.resultCode == kDownloadRequeued) return false;
    d.Settle(counted_, size_);
    if (result.resultCode == kDownloadCancelled) {
        d.FailBatch(result.cause);
        return true;
    }
    // A chunk that cannot be had costs its file a whole fetch, not the batch.
    if (result.resultCode != kDownloadOk && !file_->fetchedWhole) d.FetchWholeInstead(*file_);
    return true;
}

// ------------------------------------------------------------- the downloader

CCDNResourceDownloader::CCDNResourceDownloader(TaskThread& owner)
    : owner_(owner), dispatcher_(new DownloaderTaskDispatcher()) {
    dispatcher_->owner = this;
    dispatcher_->rateLimit = &rateLimit_;
}

CCDNResourceDownloader::~CCDNResourceDownloader() {
    // The ending workers still report to this object: end them while it is whole.
    Shutdown();
}

void CCDNResourceDownloader::Shutdown() {
    StopAll();
    dispatcher_->Shutdown();
    flusher_.Drain();
}

std::wstring CCDNResourceDownloader::StagingFile() const { return StagingFilePath(launcherRoot); }

std::wstring CCDNResourceDownloader::ListName() const {
    std::wstring name = configUrl.substr(0, configUrl.find(L'?'));
    size_t slash = name.rfind(L'/');
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

void CCDNResourceDownloader::StopAll() { dispatcher_->StopAll(); }

void CCDNResourceDownloader::SetHosts(const std::vector<std::wstring>& listUrls) {
    if (listUrls.empty()) return;
    configUrl = CdnListUrl(listUrls[0]);
    resourceBaseUrl = CdnResourceBase(listUrls[0]);
    dispatcher_->hosts.Reset(CdnHostPrefixes(listUrls));
    for (size_t i = 1; i < listUrls.size(); ++i) DebugTrace(L"CDN镜像\t" + CdnListUrl(listUrls[i]));
}

void CCDNResourceDownloader::SetSpeedLimit(uint64_t bytesPerSecond) { rateLimit_.SetBytesPerSecond(bytesPerSecond); }

int32_t CCDNResourceDownloader::WorkerCount() {
    // Below about 1 MB/s a single connection keeps up with the limit, and
    // fewer connections share the line more evenly with the player's others.
    uint64_t limit = rateLimit_.BytesPerSecond();
    return limit != 0 && limit <= kOneWorkerLimit ? 1 : kDownloaderThreads;
}

uint64_t CCDNResourceDownloader::AddTask(std::unique_ptr<Task> task) {
    const uint64_t id = nextTaskId_++;
    tasks_.emplace(id, std::move(task));
    return id;
}

void CCDNResourceDownloader::Queue(std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> tasks) {
    std::vector<DownloadTaskInfo> infos;
    infos.reserve(tasks.size());
    for (auto& task : tasks) {
        task.first.id = AddTask(std::move(task.second));
        infos.push_back(std::move(task.first));
    }
    ++workRun_;
    dispatcher_->AddTasks(infos);
    // No worker took them (paused, or none could be started): no worker will
    // tell an end, so it is looked at now, after whatever was posted before.
    if (dispatcher_->IsIdle()) owner_.Post([this] { HandleWorkersEnded(); });
}

void CCDNResourceDownloader::StartConfigDownload() {
    // What a failed batch left queued goes, and so does every task that no
    // worker fetches any more: a new run starts clean.
    dispatcher_->ClearPending();
    dispatcher_->Resume();
    for (auto it = tasks_.begin(); it != tasks_.end();) {
        it = it->second->processor ? std::next(it) : tasks_.erase(it);
    }
    indexDone_ = nullptr;
    std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> list;
    list.emplace_back(DownloadTaskInfo(BuildTaskUrl(L"", CdnTaskKind::Config), ListName(),
                                       static_cast<int32_t>(CdnTaskKind::Config), L"", -1, 0),
                      std::unique_ptr<Task>(new ListTask()));
    Queue(std::move(list));
}

void CCDNResourceDownloader::StartBatch(const std::vector<ResourceUpdateItem>& items, CdnTaskKind kind) {
    batchKind_ = kind;
    batchRunning_ = true;
    paused_ = false;
    pauseTold_ = false;
    batchFailed_ = false;
    batchFailure_ = FailureCause();
    unsettledFiles_ = 0;
    totalBytes_ = 0;
    reportedBytes_ = -1;
    ::InterlockedExchange64(&receivedBytes_, 0);
    dispatcher_->SetMaxThreads(WorkerCount());
    if (kind == CdnTaskKind::LauncherFile) {
        DeleteStagingFile(StagingFile());
        SetStagingFlag(StagingFile(), 0);
    }
    const std::wstring& root = kind == CdnTaskKind::LauncherFile ? launcherRoot : resourceFilesFolder;
    diskSpace_.reset(new DiskSpaceGuard(root, freeSpaceFloor, freeSpaceQuery));
    std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> tasks;
    for (const ResourceUpdateItem& item : items) {
        std::wstring path;
        if (!ResourcePathUnder(root, item.name, &path)) {
            // A name from the network that would write outside the root: never
            // fetched, and the batch cannot succeed (the other files still come).
            DebugTrace(L"资源路径非法\t" + item.name);
            if (!batchFailed_) batchFailure_ = FailureCause(FailureKind::BadAnswer, 0, item.name);
            batchFailed_ = true;
            continue;
        }
        DownloadTaskInfo whole(BuildTaskUrl(item.remoteFolder, kind), item.name, static_cast<int32_t>(kind),
                               item.remoteFolder, item.offset, item.size);
        if (!item.chunked || kind != CdnTaskKind::GameResource) {
            tasks.emplace_back(whole, std::unique_ptr<Task>(new FileTask(kind, item, item.size)));
            continue;
        }
        std::shared_ptr<ChunkedFile> file(new ChunkedFile{item.chunked, whole, item, false});
        for (uint32_t index : item.chunked->MissingChunks()) {
            DownloadTaskInfo piece = whole;
            piece.offset = item.offset + item.chunked->TaskOffset(index);
            piece.size = item.chunked->TaskLength(index);
            tasks.emplace_back(piece, std::unique_ptr<Task>(new ChunkTask(file, index, piece.size)));
        }
        if (item.chunked->MissingChunks().empty()) {
            // Every chunk was on the disk: a task without bytes installs it.
            DownloadTaskInfo install = whole;
            install.size = 0;
            tasks.emplace_back(install, std::unique_ptr<Task>(new ChunkTask(file, ChunkDataProcessor::kNoChunk, 0)));
        }
    }
    for (const auto& task : tasks) totalBytes_ += task.first.size;
    unsettledFiles_ = tasks.size();
    const uint32_t run = ++progressRun_;
    ReportProgress();
    PostProgressTick(run);
    Queue(std::move(tasks));
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

std::vector<DownloadDataProcessor*> CCDNResourceDownloader::CreateProcessors(const SegmentDownloadTaskInfo& segment) {
    // The processors belong to the owner's tasks: made there, once per segment.
    // When the owner no longer runs, none is made and nothing is requested.
    std::vector<DownloadDataProcessor*> made(segment.files.size(), nullptr);
    owner_.Call([this, &segment, &made] {
        for (size_t i = 0; i < segment.files.size(); ++i) made[i] = MakeProcessor(segment.files[i]);
    });
    return made;
}

DownloadDataProcessor* CCDNResourceDownloader::MakeProcessor(const DownloadTaskInfo& info) {
    auto found = tasks_.find(info.id);
    if (found == tasks_.end()) return nullptr;  // a task of an earlier run
    Task& task = *found->second;
    if (task.processor) {
        // Still being fetched by another worker: this copy gets no bytes.
        DebugTrace(L"CDNResourceConfigDataProcessor插入失败\t" + info.name);
        return nullptr;
    }
    task.processor = task.MakeProcessor(*this, info);
    return task.processor.get();
}

void CCDNResourceDownloader::OnTaskResult(const DownloadTaskResultInfo& result) {
    owner_.Post([this, result] { HandleResult(result); });
}

void CCDNResourceDownloader::OnAllTasksFinished() {
    owner_.Post([this] { HandleWorkersEnded(); });
}

void CCDNResourceDownloader::HandleResult(const DownloadTaskResultInfo& result) {
    auto found = tasks_.find(result.info.id);
    if (found == tasks_.end()) return;  // a task of an earlier run
    Task* task = found->second.get();
    // The worker is done with the processor: it goes once the result is handled.
    std::unique_ptr<DownloadDataProcessor> processor = std::move(task->processor);
    if (task->OnResult(*this, result, processor.get())) tasks_.erase(result.info.id);
}

void CCDNResourceDownloader::Settle(int64_t counted, uint32_t size) {
    --unsettledFiles_;
    // What a task did not cost (a chunk not fetched after all) leaves the total,
    // so the figures end exactly at it.
    if (counted < size) totalBytes_ -= size - counted;
}

void CCDNResourceDownloader::FailBatch(const FailureCause& cause) {
    if (!batchRunning_) return;
    if (!batchFailed_) {
        batchFailed_ = true;
        batchFailure_ = cause;
    }
    // One file lost fails the batch: the requests under way stop.
    dispatcher_->StopAll();
}

void CCDNResourceDownloader::PostInstalled(const std::wstring& name, CdnTaskKind kind) {
    owner_.Post([this, name, kind] {
        if (onFileInstalled) onFileInstalled(name, kind);
    });
}

void CCDNResourceDownloader::HandleWorkersEnded() {
    // A later end comes when workers run again.
    if (!dispatcher_->IsIdle() || !batchRunning_ || (paused_ && pauseTold_)) return;
    // Every file handed to the flusher is on the disk, and told, before the
    // batch's outcome: the outcome is posted after the flusher's last news.
    if (!flusher_.Drain()) {
        // The file's own cause was posted as it was lost (onLost), before this.
        DebugTrace(L"写入磁盘失败");
        owner_.Post([this] { FailBatch(FailureCause(FailureKind::DiskError, 0)); });
    }
    const uint32_t run = workRun_;
    owner_.Post([this, run] {
        // Workers started since (a resume) tell their own end.
        if (run == workRun_) FinishFileBatch();
    });
}

void CCDNResourceDownloader::FinishFileBatch() {
    if (!batchRunning_ || !dispatcher_->IsIdle()) return;
    // Every task must have its outcome: a segment dropped without results (no
    // worker could be started for it) is no success.
    if (!batchFailed_ && unsettledFiles_ == 0) {
        EndFileBatch(CDNDownloadState::Succeeded);
        return;
    }
    if (!batchFailed_ && paused_) {
        // Paused, with files still queued: no failure, and no file is given up.
        if (pauseTold_) return;
        pauseTold_ = true;
        ReportProgress();
        DebugTrace(L"下载已暂停");
        if (onBatchPaused) onBatchPaused(batchKind_);
        return;
    }
    DebugTrace(L"下载批次失败");
    DebugTrace(FailureTraceText(batchFailure_));
    if (batchKind_ == CdnTaskKind::LauncherFile) DeleteStagingFile(StagingFile());
    EndFileBatch(CDNDownloadState::Failed);
}

void CCDNResourceDownloader::EndFileBatch(CDNDownloadState state) {
    batchRunning_ = false;
    paused_ = false;
    ++progressRun_;
    if (state == CDNDownloadState::Succeeded) ReportProgress();
    // Nothing of the batch stays: not what a failure left queued, nor a pause
    // that came as it ended.
    dispatcher_->ClearPending();
    dispatcher_->Resume();
    for (auto it = tasks_.begin(); it != tasks_.end();) {
        it = it->second->ofFileBatch ? tasks_.erase(it) : std::next(it);
    }
    diskSpace_.reset();
    if (onBatchFinished) onBatchFinished(state, batchKind_, state == CDNDownloadState::Failed ? batchFailure_ : FailureCause());
}

void CCDNResourceDownloader::Pause() {
    if (!batchRunning_ || paused_) return;
    paused_ = true;
    pauseTold_ = false;
    dispatcher_->Pause();
    if (dispatcher_->IsIdle()) owner_.Post([this] { HandleWorkersEnded(); });
}

void CCDNResourceDownloader::Resume() {
    if (!batchRunning_ || !paused_) return;
    paused_ = false;
    pauseTold_ = false;
    ++workRun_;
    dispatcher_->SetMaxThreads(WorkerCount());
    dispatcher_->Resume();
    if (dispatcher_->IsIdle()) owner_.Post([this] { HandleWorkersEnded(); });
}

void CCDNResourceDownloader::ReportProgress() {
    const int64_t received = ::InterlockedCompareExchange64(&receivedBytes_, 0, 0);
    if (received == reportedBytes_ && totalBytes_ == reportedTotal_) return;
    reportedBytes_ = received;
    reportedTotal_ = totalBytes_;
    if (onDownloadProgress) onDownloadProgress(received, totalBytes_);
}

void CCDNResourceDownloader::PostProgressTick(uint32_t run) {
    owner_.PostAfter(kProgressReportMs, [this, run] {
        if (run != progressRun_) return;  // that batch has ended
        ReportProgress();
        PostProgressTick(run);
    });
}

void CCDNResourceDownloader::ReportConfigList(bool received, std::string bytes, const FailureCause& cause) {
    CDNDownloadState state = CDNDownloadState::Failed;
    FailureCause why = cause;
    std::wstring text;
    if (received) {
        // A list holds no zero byte; read up to one, a list would end early
        // there, and lines lost at the end look like withdrawn resources.
        if (bytes.find('\0') == std::string::npos) {
            text = ReceivedBytesToText(bytes);  // UTF-8 or the ANSI code page, decoded as it is checked
            state = CDNDownloadState::Succeeded;
            why = FailureCause();
            if (!ListDigestOf(bytes, &acceptedListDigest_)) acceptedListDigest_.clear();
        } else {
            DebugTrace(L"资源列表含有零字节");
            why = FailureCause(FailureKind::BadAnswer, 0);
        }
    }
    if (state != CDNDownloadState::Succeeded && why.file.empty()) why.file = ListName();
    std::string().swap(bytes);
    if (onConfigResult) onConfigResult(state, text, why);
}

void CCDNResourceDownloader::FetchWholeInstead(ChunkedFile& file) {
    if (batchFailed_) return;  // nothing more is fetched; its chunks stay for the next run
    file.fetchedWhole = true;
    file.assembly->Abandon();
    DebugTrace(L"分块下载失败,下载整个文件\t" + file.whole.name);
    ResourceUpdateItem item = file.item;
    item.change = ResourceChangeKind::Modified;  // its temporary file replaces the installed one, if any
    std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> whole;
    whole.emplace_back(file.whole, std::unique_ptr<Task>(new FileTask(CdnTaskKind::GameResource, item, file.whole.size)));
    totalBytes_ += file.whole.size;
    ++unsettledFiles_;
    Queue(std::move(whole));
}

void CCDNResourceDownloader::FetchContentIndex(std::function<void(std::unique_ptr<ContentIndex>)> done) {
    if (acceptedListDigest_.empty()) {
        done(nullptr);
        return;
    }
    indexDone_ = std::move(done);
    indexBytes_.clear();
    DownloadTaskInfo index(CompanionUrlFor(BuildTaskUrl(L"", CdnTaskKind::Config), kIndexSuffix),
                           ListName() + kIndexSuffix, static_cast<int32_t>(CdnTaskKind::Config), L"", -1, 0);
    // The index only saves bytes: whatever the server does, the update goes
    // on without it once its limit has passed.
    index.finishByTick = ::GetTickCount64() + GetUpdateTimings().contentIndexLimitMs;
    std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> tasks;
    tasks.emplace_back(index, std::unique_ptr<Task>(new IndexTask()));
    Queue(std::move(tasks));
}

void CCDNResourceDownloader::FinishIndexFetch(bool usable) {
    std::unique_ptr<ContentIndex> index;
    if (usable) {
        index.reset(new ContentIndex());
        ContentIndexFault fault = index->Parse(indexBytes_, acceptedListDigest_);
        if (fault != ContentIndexFault::None) {
            DebugTrace(std::wstring(L"资源索引无效\t") + ContentIndexFaultName(fault));
            index.reset();
        }
    }
    std::string().swap(indexBytes_);
    std::function<void(std::unique_ptr<ContentIndex>)> done;
    done.swap(indexDone_);
    if (done) done(std::move(index));
}
