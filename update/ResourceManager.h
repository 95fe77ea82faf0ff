#pragma once
// Runs the resource update from the CDN list's URL to "the game may start" or
// "the launcher must restart": loads version.txt and launcher_manifest.txt,
// has the CDN list fetched, compares each half with its local list, reports the
// download size, deletes withdrawn resources, has changed files downloaded
// (launcher files first, in a run of their own) and keeps version.txt current.
//
// The update's state (the four lists, what is to fetch and to delete, what
// version.txt still lacks, and the downloader's batch) belongs to one thread
// of the manager's own, the update thread: the public calls that need it post
// their work there (a few wait for it), and the downloader, which runs on the
// same thread, is told there by its workers, so nothing of that state is
// shared or locked. The comparison and the saves of version.txt run there
// too, and every report goes from there through the report poster. The
// manager never moves on by itself between steps: whoever drives it (the
// update flow, on the window's thread) starts the comparison and the batches
// after their reports.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "update/CDNResourceDownloader.h"
#include "update/InstalledFiles.h"
#include "update/ResourceList.h"
#include "update/ResourceListCheck.h"
#include "update/ResourceManagerProgress.h"
#include "util/TaskThread.h"

class CResourceManager {
public:
    CResourceManager();
    // Ends the update thread (a comparison stops at its next file) and the
    // downloader's workers.
    ~CResourceManager();
    CResourceManager(const CResourceManager&) = delete;
    CResourceManager& operator=(const CResourceManager&) = delete;

    // Set once, before the first Initialize: every report goes through it.
    void SetReportPoster(ReportPoster poster);
    // The roots end in a backslash (the product passes the game root folder for
    // both; tests pass folders of their own). Loads the local lists and starts
    // the CDN list download, which ends in CdnCompareFinished or CdnCompareFailed.
    // listUrls: the CDN hosts' list URLs, the primary first (its mirrors after
    // it, each holding the same release).
    void Initialize(const std::wstring& launcherRoot, const std::wstring& resourceRoot,
                    const std::vector<std::wstring>& listUrls);
    // One CDN host.
    void Initialize(const std::wstring& launcherRoot, const std::wstring& resourceRoot, const std::wstring& listUrl) {
        Initialize(launcherRoot, resourceRoot, std::vector<std::wstring>{listUrl});
    }
    // After CdnCompareFinished: compares the lists and reports
    // RequestDownloadTotalSize (also with a size of 0). With repair, every
    // installed file the update would keep is first read and checked against
    // its MD5 (reported as VerifyProgress); a damaged or missing one is fetched
    // again like a file that was never installed.
    void StartComparison(bool repair);
    // After the size report, once the downloader is idle: the launcher batch
    // when launcher files changed (LauncherDownloadStarted), else the withdrawn
    // resources are deleted and the game-resource batch starts
    // (ResourceDownloadStarted), or everything is current (ResourceUpdateFinished).
    void StartBatches();
    // Pauses the running batch (DownloadPaused once it stands still, with every
    // verified file recorded in version.txt) and lets it go on.
    void PauseDownload();
    void ResumeDownload();
    // The window is closing: stops the downloads, saves version.txt with every
    // file recorded so far (nothing when the local lists were never loaded)
    // and ends the update thread; the manager does nothing after it.
    void StopForClose();
    // MD5 of the md5 texts of version.txt in name order (of nothing, for a
    // file without entries); empty only without the file.
    std::wstring ComputeResourceHash();
    // The downloader the manager drives, for its settings (list-signing keys,
    // speed limit, the disk's floor) before the first run.
    CCDNResourceDownloader& Downloader() { return downloader; }

private:
    bool LoadListFile(const std::wstring& path, std::vector<ResoureConfigInfo>* list);
    // What tells the two local lists apart while they load.
    struct LocalListTexts {
        const wchar_t* fileName;
        const wchar_t* duplicatePrefix;
        std::wstring startTrace;
        std::wstring doneTrace;  // followed by the number of entries
        ResourceManagerProgressState started;
        ResourceManagerProgressState finished;
        void (UpdateReports::*onStarted)();
        void (UpdateReports::*onFinished)();
    };
    // Loads folder + fileName (when the folder is set) into the map, first entry per name.
    void LoadLocalList(const LocalListTexts& texts, const std::wstring& folder, ResourceInfoMap* map);
    void LoadLocalResourceInfo();
    void LoadLauncherInfo();
    // Gives the downloader the roots and URLs of this run.
    void ConfigureDownloader();
    // The downloader's callables, set once: each sends its result to the update thread.
    void ConnectDownloader();
    // Runs work on the update thread; when it no longer runs, the step's
    // failure is reported instead (refusal may be null: nothing to report).
    void PostWork(TaskThread::Task work, void (CResourceManager::*refusal)(const FailureCause&));
    void ReportCompareFailed(const FailureCause& cause);
    void ReportResourceDownloadFailed(const FailureCause& cause);
    // The window is closing: long steps end early, and nothing is deleted.
    bool Stopping() const { return stopping != 0; }
    // The disk listing, the check when asked and the comparison; then, once
    // the content index is had or given up, the plan of chunks and the size report.
    void CompareWithCdn(bool repair);
    // What the comparison found, for its end.
    struct Comparison {
        InstalledFiles onDisk;
        uint64_t total = 0;
        bool forgotten = false;  // an entry lost its MD5: version.txt needs writing
    };
    void FinishComparison(const std::shared_ptr<Comparison>& comparison, const ContentIndex* index);
    // Starts the launcher batch when launcher files changed; gives whether it did.
    bool StartLauncherUpdate();
    // Deletes withdrawn resources and starts the game-resource batch, or reports
    // that everything is current.
    void StartResourceUpdate();
    // Writes version.txt from the local resource map (an empty file when it is
    // empty), replacing the file in one step; false, with *cause (may be
    // null), when it could not. Nothing (true) before the local lists were
    // loaded: an empty map then says nothing.
    bool SaveLocalVersionFile(FailureCause* cause = nullptr);
    // With the content index: gives each changed file the index's SHA-256 and
    // prepares those packed in chunks to be rebuilt from what is on the disk
    // (its progress shown when it takes long), counting in *total only the
    // chunks still to fetch. Gives the temporary files they use
    // (InstalledFiles::TemporaryPathKey).
    std::unordered_set<std::wstring> PlanChunkedFiles(const ContentIndex& index, uint64_t* total);
    // Tells the bytes read of installed files being checked (VerifyProgress).
    void ReportCheckProgress(int64_t read, int64_t total);
    // The number of damaged or unreadable files, whose MD5 it clears.
    size_t VerifyInstalledFiles(const InstalledFiles& onDisk);
    // While a game-resource batch runs, version.txt is saved about once a
    // second when files were recorded since the last save, so a launcher
    // killed at any moment has lost at most that second, also while no further
    // file completes (a long file still arriving).
    void StartSaveTicker();
    void StopSaveTicker() { ++saveTickerRun; }
    void PostSaveTick();
    void OnSaveTick(uint32_t run);
    void Report(ResourceManagerProgressState state, UpdateReport report);
    // A report without values: the step alone.
    void Report(ResourceManagerProgressState state, void (UpdateReports::*step)());
    bool HasGameResourceEntry(const std::vector<ResoureConfigInfo>& list) const;

    // The list's files, and the launcher's own files no entry may name.
    CdnListTargets ListTargets() const;
    // Reads the CDN list strictly (ReadCdnResourceList); a bad one is traced and gives false.
    bool ReadCdnList(const std::wstring& text, std::vector<ResoureConfigInfo>* list);

    void OnConfigDownloaded(CDNDownloadState state, const std::wstring& listText, const FailureCause& cause);
    void OnBatchFinished(CDNDownloadState state, CdnTaskKind kind, const FailureCause& cause);
    void OnBatchPaused(CdnTaskKind kind);
    // The file's entry takes the CDN's MD5 in its local map.
    void RecordInstalled(const std::wstring& name, CdnTaskKind kind);
    void OnDownloadProgress(int64_t downloaded, int64_t total);

    ReportPoster reportPoster;  // set before the update thread's first work
    volatile LONG stopping = 0;
    // Everything below belongs to the update thread.
    std::wstring resourceFilesFolder;  // resourceRoot + "game\"
    std::wstring resourceRoot;         // folder of version.txt
    std::wstring launcherFilesFolder;  // equal to launcherRoot
    std::wstring launcherRoot;         // folder of launcher_manifest.txt
    std::vector<std::wstring> listUrls;  // the CDN hosts', the primary first
    bool localListsLoaded = false;     // version.txt's map may be saved
    bool versionFileDirty = false;     // the map has changes version.txt lacks
    uint32_t saveTickerRun = 0;        // a tick of an earlier run does nothing
    DWORD lastVersionSaveCost = 0;     // milliseconds the last save took
    ResourceInfoMap localResourceMap;
    ResourceInfoMap localLauncherMap;
    ResourceInfoMap cdnResourceMap;
    ResourceInfoMap cdnLauncherMap;
    std::vector<ResourceUpdateItem> launcherDownloads;
    std::vector<ResourceUpdateItem> launcherDeletes;
    std::vector<ResourceUpdateItem> resourceDeletes;
    std::vector<ResourceUpdateItem> resourceDownloads;
    // It ends (in the destructor) before the state it works on goes.
    TaskThread updateThread;
    // Runs on the update thread; its workers end (in the destructor) once
    // the update thread has.
    CCDNResourceDownloader downloader{updateThread};
};
