#pragma once
// Runs the resource update's downloads on its own dispatcher with three
// workers: the CDN list (and its statement), the content index (and its
// statement), and a batch of game-resource or launcher files, each fetched
// whole or, when it is rebuilt from chunks, as the chunks it lacks. It makes
// the processor of every task, checks the list and the index, counts the
// bytes received against the batch's total and reports to its client (the
// resource manager) through its callables.
//
// Everything of the downloader's work (its tasks and their processors, what
// has been counted, the batch's first failure, the index being fetched)
// belongs to one thread, its owner: the thread its client calls it on, the
// resource manager's update thread. A worker asks the owner for the
// processors of each segment it takes and posts every file's result, and the
// end of its work, there; every callable is called there. Only SetSpeedLimit,
// StopAll and Shutdown may be called from other threads. The bytes as they
// arrive are the one thing workers count themselves: one meter, which the
// owner reads when it reports.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "download/DownloadRateLimit.h"
#include "download/DownloaderTaskDispatcher.h"
#include "download/DownloaderTaskProcessor.h"
#include "update/ContentIndex.h"
#include "update/DiskSpaceGuard.h"
#include "update/FileFlusher.h"
#include "update/ListTrust.h"
#include "update/ResourceList.h"
#include "util/FailureCause.h"
#include "util/TaskThread.h"

// What a batch fetches: the CDN list (and what comes with it), or files.
enum class CdnTaskKind : int32_t {
    Config = 1,        // the CDN list
    GameResource = 2,  // game resource files
    LauncherFile = 3,  // launcher files
};

enum class CDNDownloadState : int32_t {
    Succeeded = 1,
    Failed = 2,
    Unverified = 3,  // the CDN list arrived, but listTrust refused it
};

class CCDNResourceDownloader : public DownloaderTaskProcessor {
public:
    // owner: the thread the downloader's work belongs to; it must not be
    // stopped before Shutdown, and nothing posted there may run once the
    // downloader is gone (stop it first).
    explicit CCDNResourceDownloader(TaskThread& owner);
    // Shutdown.
    ~CCDNResourceDownloader();
    CCDNResourceDownloader(const CCDNResourceDownloader&) = delete;
    CCDNResourceDownloader& operator=(const CCDNResourceDownloader&) = delete;

    // On the owner thread: a new run. Drops what a failed batch left queued
    // and fetches the CDN list; when listTrust requires it, then the list's
    // statement. onConfigResult follows.
    void StartConfigDownload();
    // On the owner thread: queues one task per item (each file whole, or a
    // file rebuilt from chunks as a task per missing chunk, neighbours sharing
    // a request as files do; when one fails twice, the file is fetched whole
    // instead). A name that is no safe path under its root is not fetched and
    // fails the batch. Each file is installed only with the item's cdnMd5 (and
    // SHA-256, when the item has one); an Added item is written in place, any
    // other replaces its installed file only once verified. Workers of the
    // list still ending take the new segments: there is nothing to wait for.
    // onBatchFinished follows, or onBatchPaused.
    void StartBatch(const std::vector<ResourceUpdateItem>& items, CdnTaskKind kind);
    // On the owner thread: fetches the content index of the list accepted last
    // ("<list>.index") and, when lists must be signed, its statement, with one
    // attempt each and within GetUpdateTimings().contentIndexLimitMs in all.
    // done (on the owner thread) gets the index, or null, traced, when there is
    // none this launcher may use: none on the CDN, no answer in time, one of
    // another list, or one whose statement does not pass.
    void FetchContentIndex(std::function<void(std::unique_ptr<ContentIndex>)> done);
    // On the owner thread: pauses the running file batch: the requests under
    // way are cancelled, the files they had not finished go back to the queue
    // (a file being written is discarded), and onBatchPaused is told once no
    // worker runs. Nothing without a running file batch (one that has just
    // ended stays ended).
    void Pause();
    // On the owner thread: the paused batch goes on from its queue.
    void Resume();
    // Any thread: the download speed limit of every batch, shared by all
    // workers; 0: none. Takes effect at once; the number of workers follows at
    // the next start of workers.
    void SetSpeedLimit(uint64_t bytesPerSecond);
    // Any thread: cancels every request under way (the window is closing, or
    // a batch failed); the workers end.
    void StopAll();
    // Not on the owner thread: StopAll, then waits until every worker has
    // ended and every file handed to the flusher is done. No worker starts
    // again.
    void Shutdown();

    // DownloaderTaskProcessor, on the workers: asks the owner, and posts to it.
    std::vector<DownloadDataProcessor*> CreateProcessors(const SegmentDownloadTaskInfo& segment) override;
    void OnTaskResult(const DownloadTaskResultInfo& result) override;
    void OnAllTasksFinished() override;

    // On the owner thread, between runs: the CDN hosts' list URLs, the
    // primary first. Sets configUrl and resourceBaseUrl (the primary's) and
    // lets every request go to the others, which hold the same release, when
    // a host fails it; nothing is learnt of the hosts yet.
    void SetHosts(const std::vector<std::wstring>& listUrls);

    // The package URL of a remote folder, or for Config the list URL with "?r="
    // and the local time (fourteen digits), so caches never answer it.
    std::wstring BuildTaskUrl(const std::wstring& remoteFolder, CdnTaskKind kind) const;
    // Set by the client before a run.
    std::wstring resourceBaseUrl;  // ends in "/"
    std::wstring configUrl;
    std::wstring resourceFilesFolder;
    std::wstring launcherRoot;
    // Set by the executable before the first run; with keys, a list is given
    // to onConfigResult only after its statement passed the check.
    ListTrust listTrust;

    // The callables, all called on the owner thread.
    // The CDN list as text (empty unless Succeeded), and why it was not had.
    std::function<void(CDNDownloadState, const std::wstring&, const FailureCause&)> onConfigResult;
    // The file batch has ended; with Failed, its first failure's cause.
    std::function<void(CDNDownloadState, CdnTaskKind, const FailureCause&)> onBatchFinished;
    // The file batch stands paused: every file finished so far has been told
    // (onFileInstalled) and is on the disk.
    std::function<void(CdnTaskKind)> onBatchPaused;
    // A file is done: a game resource verified, in place and on the disk
    // (possibly before the rest of its request has arrived), a launcher file
    // staged. Every one is told before the end of its batch.
    std::function<void(const std::wstring& name, CdnTaskKind)> onFileInstalled;
    // Bytes of the batch received so far, of its total: every byte counted
    // once, never above the total, and the last report of a batch that
    // succeeded is exactly the total.
    std::function<void(int64_t, int64_t)> onDownloadProgress;

    // Writes stop when the target drive would keep less than this free.
    uint64_t freeSpaceFloor = DiskSpaceGuard::kDefaultFloor;
    // How free space is learnt; empty: from Windows. Tests give a fake drive.
    DiskSpaceGuard::FreeSpaceQuery freeSpaceQuery;

private:
    // One thing to fetch; each kind of task is a type of its own, which makes
    // the processor for its bytes and handles its outcome.
    class Task;
    class ListTask;
    class StatementTask;
    class IndexTask;
    class IndexStatementTask;
    class FileTask;
    class ChunkTask;
    struct ChunkedFile;

    // Queues tasks (taking them over) on the dispatcher, each with the engine's
    // record of what to fetch for it.
    void Queue(std::vector<std::pair<DownloadTaskInfo, std::unique_ptr<Task>>> tasks);
    uint64_t AddTask(std::unique_ptr<Task> task);
    DownloadDataProcessor* MakeProcessor(const DownloadTaskInfo& info);
    void HandleResult(const DownloadTaskResultInfo& result);
    // The workers told the end of their work: a file batch that stands still
    // has ended or paused.
    void HandleWorkersEnded();
    // After the flusher's last file is told: the batch's outcome.
    void FinishFileBatch();
    // Ends the file batch: the dispatcher's queue and pause are cleared.
    void EndFileBatch(CDNDownloadState state);
    // Keeps cause as the batch's failure when it is the first, and stops the
    // workers: a failed batch fetches nothing more.
    void FailBatch(const FailureCause& cause);
    // A file task is over; its bytes not counted are no part of the total.
    void Settle(int64_t counted, uint32_t size);
    void ReportProgress();
    void PostProgressTick(uint32_t run);
    // Decodes the list and hands it to onConfigResult; its bytes go before
    // the client reads the text (a long list is held once at a time).
    void ReportConfigList(bool received, std::string listBytes, const FailureCause& cause);
    void FinishIndexFetch(bool usable);
    // A chunk of a file being rebuilt failed: the file is fetched whole.
    void FetchWholeInstead(ChunkedFile& file);
    // The workers to run for the limit: one is enough for a low one.
    int32_t WorkerCount();
    std::wstring StagingFile() const;
    std::wstring ListName() const;
    // A file's installation, told from a worker or the flusher's thread.
    void PostInstalled(const std::wstring& name, CdnTaskKind kind);

    TaskThread& owner_;
    DownloadRateLimit rateLimit_;
    FileFlusher flusher_;  // makes game files durable off the workers
    const std::unique_ptr<DownloaderTaskDispatcher> dispatcher_;  // the same one for the object's life
    // Bytes received, added by the workers; the only thing they count.
    volatile LONGLONG receivedBytes_ = 0;

    // Everything below belongs to the owner thread.
    std::unordered_map<uint64_t, std::unique_ptr<Task>> tasks_;  // by their id
    uint64_t nextTaskId_ = 1;
    // The file batch.
    CdnTaskKind batchKind_ = CdnTaskKind::Config;
    bool batchRunning_ = false;
    bool paused_ = false;
    bool pauseTold_ = false;
    size_t unsettledFiles_ = 0;  // file and chunk tasks without their last outcome
    FailureCause batchFailure_;
    bool batchFailed_ = false;
    int64_t totalBytes_ = 0;
    int64_t reportedBytes_ = -1;
    int64_t reportedTotal_ = -1;
    uint32_t workRun_ = 0;      // counts the starts of workers: an end told before a start is stale
    uint32_t progressRun_ = 0;  // a tick of an earlier batch does nothing
    std::unique_ptr<DiskSpaceGuard> diskSpace_;
    // The list and the index.
    std::string acceptedListDigest_;  // of the list given to onConfigResult last
    std::function<void(std::unique_ptr<ContentIndex>)> indexDone_;
    std::string indexBytes_;
};
