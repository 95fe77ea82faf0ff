#pragma once
// Runs the resource update from the CDN list's URL to "the game may start" or
// "the launcher must restart": loads version.txt and launcher_manifest.txt,
// has the CDN list fetched, compares each half with its local list, reports the
// download size, deletes withdrawn resources, has changed files downloaded
// (launcher files first, in a run of their own) and keeps version.txt current.
// Every step is reported through the report poster, from the calling
// thread, a download worker or the comparison's worker. The manager never
// moves on by itself between steps: whoever drives it (the update flow, on the
// window's thread) starts the comparison and each batch after their reports.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "afx/ScopedWin.h"
#include "afx/WinThread.h"
#include "update/CDNResourceDownloader.h"
#include "update/ResourceList.h"
#include "update/ResourceListCheck.h"
#include "update/ResourceManagerProgress.h"

class InstalledFiles;

class CResourceManager {
public:
    // The downloader must outlive the manager.
    explicit CResourceManager(CCDNResourceDownloader& downloader) : downloader(downloader) {}
    // Waits for the comparison's worker and the save ticker.
    ~CResourceManager() {
        StopSaveTicker();
        compareWorker.Join();
    }
    CResourceManager(const CResourceManager&) = delete;
    CResourceManager& operator=(const CResourceManager&) = delete;

    // Set once, before the first Initialize: every report goes through it,
    // from the calling thread, a download worker or the comparison's worker.
    void SetReportPoster(ReportPoster poster);
    // The roots end in a backslash (the product passes the game root folder for
    // both; tests pass folders of their own). Loads the local lists and starts
    // the CDN list download, which ends in CdnCompareFinished or CdnCompareFailed.
    void Initialize(const std::wstring& launcherRoot, const std::wstring& resourceRoot, const std::wstring& configUrl);
    // After CdnCompareFinished: compares the lists on a worker of the manager's
    // own and reports RequestDownloadTotalSize (also with a size of 0). With
    // repair, every installed file the update would keep is first read and
    // checked against its MD5 (reported as VerifyProgress); a damaged or missing
    // one is fetched again like a file that was never installed.
    void StartComparison(bool repair);
    // Starts the launcher batch when launcher files changed; gives whether it did.
    bool StartLauncherUpdate();
    // Deletes withdrawn resources and starts the game-resource batch, or reports
    // that everything is current.
    void StartResourceUpdate();
    // Writes version.txt from the local resource map (an empty file when it is
    // empty), replacing the file in one step; false when it could not. Safe
    // while a batch runs (the window may close at any time).
    bool SaveLocalVersionFile();
    // MD5 of the md5 texts of version.txt in name order; empty without the file
    // or without entries.
    std::wstring ComputeResourceHash();
    // Pauses the running batch (DownloadPaused once it stands still, with every
    // verified file recorded in version.txt) and lets it go on.
    void PauseDownload();
    void ResumeDownload();
    // The downloader the manager drives (the flow waits for it to be idle).
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
    void ConnectDownloader();
    static UINT CompareThreadMain(LPVOID param);
    // On the comparison's worker: the disk listing, the check when asked, the
    // comparison and the size report.
    void CompareWithCdn();
    // With a content index (fetched only when a changed file is large): gives
    // each changed file the index's SHA-256 and prepares those packed in
    // chunks to be rebuilt from what is on the disk, counting in *total only
    // the chunks still to fetch. Gives the temporary files they use
    // (InstalledFiles::TemporaryPathKey).
    std::unordered_set<std::wstring> PlanChunkedFiles(uint64_t* total);
    // The number of damaged or unreadable files, whose MD5 it clears.
    size_t VerifyInstalledFiles(const InstalledFiles& onDisk);
    // While a game-resource batch runs, a thread of its own saves version.txt
    // about once a second when files were recorded since the last save, so a
    // launcher killed at any moment has lost at most that second, also while
    // no further file completes (a long file still arriving).
    void StartSaveTicker();
    void StopSaveTicker();
    static UINT SaveTickerMain(LPVOID param);
    void RunSaveTicker();
    void Report(ResourceManagerProgressState state, UpdateReport report);
    // A report without values: the step alone.
    void Report(ResourceManagerProgressState state, void (UpdateReports::*step)());
    bool HasGameResourceEntry(const std::vector<ResoureConfigInfo>& list) const;

    // The list's files, and the launcher's own files no entry may name.
    CdnListTargets ListTargets() const;
    // Reads the CDN list strictly (ReadCdnResourceList); a bad one is traced and gives false.
    bool ReadCdnList(const std::wstring& text, std::vector<ResoureConfigInfo>* list);

    void OnConfigDownloaded(CDNDownloadState state, const std::wstring& listText);
    void OnBatchFinished(CDNDownloadState state, int32_t kind);
    void OnBatchPaused(int32_t kind);
    void OnTaskFinished(const DownloadTaskInfo& task, CDNDownloadState state);
    // The file's entry takes the CDN's MD5 in its local map.
    void RecordInstalled(const DownloadTaskInfo& task, CDNDownloadState state);
    void OnDownloadProgress(int64_t downloaded, int64_t total);

    CCDNResourceDownloader& downloader;
    std::wstring resourceFilesFolder;  // resourceRoot + "game\"
    std::wstring resourceRoot;         // folder of version.txt
    std::wstring launcherFilesFolder;  // equal to launcherRoot
    std::wstring launcherRoot;         // folder of launcher_manifest.txt
    std::wstring configUrl;
    std::wstring resourceBaseUrl;      // ends in "/"
    CriticalSection lock;              // the maps, against OnTaskFinished and SaveLocalVersionFile
    CriticalSection saveLock;          // one version.txt save at a time; taken before lock
    bool versionFileDirty = false;     // under lock: the map has changes version.txt lacks
    bool compareWithRepair = false;    // set before the comparison's worker starts
    CWinThread compareWorker;
    CWinThread saveTicker;
    ScopedHandle saveTickerStop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    volatile DWORD lastVersionSaveCost = 0;  // milliseconds it took
    ReportPoster reportPoster;
    ResourceInfoMap localResourceMap;
    ResourceInfoMap localLauncherMap;
    ResourceInfoMap cdnResourceMap;
    ResourceInfoMap cdnLauncherMap;
    std::vector<ResourceUpdateItem> launcherDownloads;
    std::vector<ResourceUpdateItem> launcherDeletes;
    std::vector<ResourceUpdateItem> resourceDeletes;
    std::vector<ResourceUpdateItem> resourceDownloads;
};
