#pragma once
// Runs the resource update's download batches on its own dispatcher with three
// workers: the configuration batch (the CDN list), a game-resource batch or a
// launcher-file batch. It supplies a processor per task, collects results,
// counts downloaded bytes against the batch total and reports to its client
// (the resource manager) through five callables.
//
// Locks: processorLock before statusLock; bytesLock alone. onConfigResult,
// onTaskFinished and the staging of launcher files run under processorLock, so
// the callables must not wait for anything: the client's hand their results to
// its own thread. Batches start from that thread; the window's thread may ask
// whether it is idle, pause, stop and set the limit at any time.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloadRateLimit.h"
#include "download/DownloaderTaskDispatcher.h"
#include "download/DownloaderTaskProcessor.h"
#include "update/ContentIndex.h"
#include "update/DiskSpaceGuard.h"
#include "update/FileFlusher.h"
#include "update/ListTrust.h"
#include "update/ResourceList.h"

// The kind field of this downloader's tasks, and the kind of a batch.
enum class CdnTaskKind : int32_t {
    Config = 1,        // the CDN list
    GameResource = 2,  // a game resource file
    LauncherFile = 3,  // a launcher file
};

enum class CDNDownloadState : int32_t {
    Succeeded = 1,
    Failed = 2,
    Unverified = 3,  // the CDN list arrived, but listTrust refused it
};

class CDNResourceDataProcessor;
class ChunkedFileAssembly;

class CCDNResourceDownloader : public DownloaderTaskProcessor {
public:
    CCDNResourceDownloader();
    // Shutdown.
    ~CCDNResourceDownloader();
    CCDNResourceDownloader(const CCDNResourceDownloader&) = delete;
    CCDNResourceDownloader& operator=(const CCDNResourceDownloader&) = delete;

    // Drops what a failed batch left queued and fetches the CDN list; when
    // listTrust requires it, then the list's statement.
    void StartConfigDownload();
    // Queues one task per item. Items of a file batch whose name is no safe path
    // under its root are not fetched and make the batch fail. Each file is
    // installed only with the item's cdnMd5 (and SHA-256, when the item has
    // one); an Added item is written in place, any other replaces its
    // installed file only once verified. An item rebuilt from chunks gets one
    // task per missing chunk (neighbours share a request like files do); when
    // one of them fails twice, the file is fetched whole instead.
    void StartBatch(const std::vector<ResourceUpdateItem>& items, CdnTaskKind kind);
    // Fetches the content index of the list accepted last ("<list>.index") and,
    // when lists must be signed, its statement; blocks the calling thread (the
    // manager's update thread, comparing) until both have arrived or failed, or StopAll.
    // False, traced, when there is no index this launcher may use: none on the
    // CDN, one of another list, or one whose statement does not pass.
    bool FetchContentIndex(ContentIndex* index);
    // True when no worker of the dispatcher runs (also before the first batch).
    bool IsIdle();
    // Stops every running worker (the window is closing); nothing to stop before the first batch.
    void StopAll();
    // StopAll, then waits until every worker has ended and every file handed
    // to the flusher is done: no callable is called after it returns, and no
    // batch starts again. For the client's end, while it is still whole.
    void Shutdown();
    // Pauses the running file batch: the requests under way are cancelled, the
    // files they had not finished go back to the queue (a file being written
    // is discarded), and onBatchPaused is told once no worker runs. Nothing
    // to pause without a file batch.
    void Pause();
    // The paused batch goes on from its queue.
    void Resume();
    bool IsPaused();
    // The download speed limit of every batch, shared by all workers; 0: none.
    // Takes effect at once; the number of workers follows at the next start.
    void SetSpeedLimit(uint64_t bytesPerSecond);

    DownloadDataProcessor* CreateProcessor(const DownloadTaskInfo& task) override;
    void OnTaskResult(const DownloadTaskResultInfo& result) override;
    void OnAllTasksFinished() override;

    // The package URL of a remote folder, or for Config the list URL with "?r="
    // and the local time (fourteen digits), so caches never answer it.
    std::wstring BuildTaskUrl(const std::wstring& remoteFolder, CdnTaskKind kind) const;
    // Set by the client before the first batch.
    std::wstring resourceBaseUrl;  // ends in "/"
    std::wstring configUrl;
    std::wstring resourceFilesFolder;
    std::wstring launcherRoot;
    // Set by the executable before the first batch; with keys, a list is given
    // to onConfigResult only after its statement passed the check.
    ListTrust listTrust;
    // The CDN list as text; the client reads it (the state is Failed, and the
    // text empty, when no whole list arrived; Unverified when its statement failed).
    std::function<void(CDNDownloadState, const std::wstring&)> onConfigResult;
    std::function<void(CDNDownloadState, int32_t)> onBatchFinished;
    // The batch of that kind stands paused: every file finished so far has been
    // told (onFileInstalled, onTaskFinished) and is on the disk.
    std::function<void(int32_t)> onBatchPaused;
    std::function<void(const DownloadTaskInfo&, CDNDownloadState)> onTaskFinished;
    std::function<void(int64_t, int64_t)> onDownloadProgress;
    // A game resource file has been verified, put in place and made durable,
    // possibly before the rest of its segment has arrived. On the worker that
    // wrote it or on the flusher's thread, with no lock of this object held.
    // The batch ends (onBatchFinished) only after the last of these.
    std::function<void(const DownloadTaskInfo&)> onFileInstalled;

    // Writes stop when the target drive would keep less than this free.
    uint64_t freeSpaceFloor = DiskSpaceGuard::kDefaultFloor;
    // How free space is learnt; empty: from Windows. Tests give a fake drive.
    DiskSpaceGuard::FreeSpaceQuery freeSpaceQuery;

private:
    // What a file task needs besides its DownloadTaskInfo.
    struct ItemCheck {
        std::wstring md5;
        std::string sha256;
        bool installed = false;
    };
    // A file rebuilt from chunks, and the task that fetches it whole instead.
    struct ChunkedFile {
        std::shared_ptr<ChunkedFileAssembly> assembly;
        DownloadTaskInfo whole;
        bool fetchedWhole = false;
    };
    void OnConfigResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor);
    // Queues the statement of the list that has just arrived.
    void StartStatementDownload(const std::string& listBytes);
    void OnStatementResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor);
    // Decodes and parses the list and hands it to onConfigResult.
    void ReportConfigList(bool received, const std::string& listBytes);
    void OnFileResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor);
    // Both under processorLock: the content index, then its statement.
    void OnIndexResult(const DownloadTaskResultInfo& result, DownloadDataProcessor* processor);
    void FinishIndexFetch(bool usable);
    // A chunk of a file being rebuilt failed: the file is fetched whole.
    // False when the file was fetched whole already (or is unknown).
    bool FetchWholeInstead(const std::wstring& name);
    void OnProcessorProgress(int64_t count);
    // Keeps code as the batch's error when it is the first.
    void NoteResult(int32_t code);
    std::wstring StagingFile() const;

    const std::unique_ptr<DownloaderTaskDispatcher> dispatcher;  // the same one for the object's life
    std::map<std::wstring, std::unique_ptr<DownloadDataProcessor>> processors;
    std::map<std::wstring, ItemCheck> batchChecks;    // by name, under processorLock
    std::map<std::wstring, ChunkedFile> chunkedFiles;  // by name, under processorLock
    std::unique_ptr<DiskSpaceGuard> diskSpace;         // of the running file batch
    FileFlusher flusher;                               // makes game files durable off the workers
    // The workers to run for the limit: one is enough for a low one.
    int32_t WorkerCount();

    volatile LONG queuedTasks = 0;
    volatile LONG finishedTasks = 0;
    // The first error of the batch (under statusLock), kDownloadOk without one:
    // the code says what went wrong, which an OR of several codes did not.
    int32_t batchError = kDownloadOk;
    DownloadRateLimit rateLimit;
    int64_t downloadedBytes = 0;
    int64_t totalBytes = 0;
    CriticalSection processorLock;
    CriticalSection bytesLock;
    CriticalSection statusLock;
    CdnTaskKind batchKind = CdnTaskKind::Config;
    std::string listAwaitingStatement;  // under processorLock
    std::string acceptedListDigest;     // of the list given to onConfigResult last
    // The content index's fetch: its bytes until checked, the outcome, and the
    // event FetchContentIndex waits for. Under processorLock.
    std::string indexBytes;
    bool indexUsable = false;
    bool stopped = false;  // StopAll came, and no new run since
    ScopedHandle indexFetched{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
