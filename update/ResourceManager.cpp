#include "update/ResourceManager.h"

#include <algorithm>
#include <unordered_set>

#include "update/ChunkedFileAssembly.h"
#include "update/ContentIndex.h"
#include "update/DiskSpaceGuard.h"
#include "update/FileReplace.h"
#include "update/InstalledFiles.h"
#include "update/LauncherStaging.h"
#include "update/ResourceCompare.h"
#include "update/ResourcePath.h"
#include "update/UpdateTimings.h"
#include "util/DebugTrace.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kVersionFileName[] = L"version.txt";
const wchar_t kLauncherManifestName[] = L"launcher_manifest.txt";
const wchar_t kResourceFilesFolderName[] = L"game\\";
const DWORD kVersionSaveIntervalMs = 1000;
// The content index is fetched only when a changed file's member is at least
// this large: below it, chunks would save less than the index may cost.
const uint32_t kIndexWorthMemberBytes = 256 * 1024;

}  // namespace

CResourceManager::CResourceManager() {
    ConnectDownloader();
    // Without its thread the manager refuses every step with its failure.
    if (!updateThread.Start()) DebugTrace(L"启动更新线程失败\t" + IntToText(static_cast<int32_t>(::GetLastError())));
}

CResourceManager::~CResourceManager() {
    ::InterlockedExchange(&stopping, 1);
    downloader.StopAll();
    updateThread.Stop();
    // The workers ask and tell the update thread, which no longer runs: they end.
    downloader.Shutdown();
}

void CResourceManager::SetReportPoster(ReportPoster poster) { reportPoster = std::move(poster); }

void CResourceManager::PostWork(TaskThread::Task work, void (CResourceManager::*refusal)(const FailureCause&)) {
    if (updateThread.Post(std::move(work)) || !refusal) return;
    DebugTrace(L"更新线程不再运行");
    (this->*refusal)(FailureCause());
}

void CResourceManager::ReportCompareFailed(const FailureCause& cause) {
    Report(ResourceManagerProgressState::CdnCompareFailed,
           [cause](UpdateReports& receiver) { receiver.OnCdnCompareFailed(false, cause); });
}

void CResourceManager::ReportResourceDownloadFailed(const FailureCause& cause) {
    Report(ResourceManagerProgressState::ResourceDownloadFailed,
           [cause](UpdateReports& receiver) { receiver.OnResourceDownloadFailed(cause); });
}

void CResourceManager::Report(ResourceManagerProgressState state, UpdateReport report) {
    if (reportPoster) reportPoster(state, std::move(report));
}

void CResourceManager::Report(ResourceManagerProgressState state, void (UpdateReports::*step)()) {
    Report(state, [step](UpdateReports& receiver) { (receiver.*step)(); });
}

void CResourceManager::Initialize(const std::wstring& launcherRootFolder, const std::wstring& resourceRootFolder,
                                  const std::vector<std::wstring>& hostListUrls) {
    PostWork(
        [this, launcherRootFolder, resourceRootFolder, hostListUrls] {
            localListsLoaded = false;
            localResourceMap.clear();
            localLauncherMap.clear();
            cdnResourceMap.clear();
            cdnLauncherMap.clear();
            resourceRoot = resourceRootFolder;
            resourceFilesFolder = resourceRootFolder + kResourceFilesFolderName;
            launcherRoot = launcherRootFolder;
            launcherFilesFolder = launcherRootFolder;
            listUrls = hostListUrls;

            LoadLocalResourceInfo();
            LoadLauncherInfo();
            localListsLoaded = true;
            ConfigureDownloader();
            DebugTrace(L"初始化cdn资源信息");
            Report(ResourceManagerProgressState::CdnCompareStarted, &UpdateReports::OnCdnCompareStarted);
            downloader.StartConfigDownload();
        },
        &CResourceManager::ReportCompareFailed);
}

bool CResourceManager::LoadListFile(const std::wstring& path, std::vector<ResoureConfigInfo>* list) {
    DebugTrace(L"资源配置文件路径:\t" + path);
    std::wstring text;
    if (!ReadUtf8TextFile(path, &text)) return false;
    DebugTrace(L"资源配置文件内容:\r\n", text);
    ParseResourceList(text, list);
    return true;
}

void CResourceManager::LoadLocalList(const LocalListTexts& texts, const std::wstring& folder, ResourceInfoMap* map) {
    DebugTrace(texts.startTrace);
    Report(texts.started, texts.onStarted);
    std::vector<ResoureConfigInfo> list;
    if (!folder.empty() && LoadListFile(folder + texts.fileName, &list)) {
        for (ResoureConfigInfo& entry : list) InsertResourceEntry(map, std::move(entry), texts.duplicatePrefix);
    }
    DebugTrace(texts.doneTrace + IntToText(static_cast<int32_t>(map->size())));
    Report(texts.finished, texts.onFinished);
}

void CResourceManager::LoadLocalResourceInfo() {
    static const LocalListTexts texts = {
        kVersionFileName, L"LocalResourceInfo插入失败\t", L"初始化本地资源信息", L"初始化本地资源信息完成，配置数量",
        ResourceManagerProgressState::LocalCheckStarted, ResourceManagerProgressState::LocalCheckFinished, &UpdateReports::OnLocalCheckStarted,
        &UpdateReports::OnLocalCheckFinished};
    LoadLocalList(texts, resourceRoot, &localResourceMap);
}

void CResourceManager::LoadLauncherInfo() {
    static const LocalListTexts texts = {
        kLauncherManifestName, L"LauncherInfo插入失败\t", L"初始化Launcher信息", L"初始化Launcher配置信息完成，配置数量",
        ResourceManagerProgressState::LauncherInfoStarted, ResourceManagerProgressState::LauncherInfoFinished, &UpdateReports::OnLauncherInfoStarted,
        &UpdateReports::OnLauncherInfoFinished};
    LoadLocalList(texts, launcherRoot, &localLauncherMap);
}

void CResourceManager::ConfigureDownloader() {
    downloader.SetHosts(listUrls);
    downloader.resourceFilesFolder = resourceFilesFolder;
    downloader.launcherRoot = launcherFilesFolder;
    // The second copy of the accepted serials lives with the installation it
    // protects, so clearing the data folder alone does not reopen rollbacks.
    downloader.listTrust.SetGameRootSerialFile(resourceRoot + ListTrust::kSerialFileName);
}

void CResourceManager::ConnectDownloader() {
    // Called on the update thread, in the order the downloader gives them:
    // every file of a batch is recorded before its end is handled.
    downloader.onConfigResult = [this](CDNDownloadState state, const std::wstring& listText,
                                       const FailureCause& cause) { OnConfigDownloaded(state, listText, cause); };
    downloader.onBatchFinished = [this](CDNDownloadState state, CdnTaskKind kind, const FailureCause& cause) {
        OnBatchFinished(state, kind, cause);
    };
    downloader.onBatchPaused = [this](CdnTaskKind kind) { OnBatchPaused(kind); };
    downloader.onDownloadProgress = [this](int64_t downloaded, int64_t total) { OnDownloadProgress(downloaded, total); };
    // A file is recorded as soon as it is in place, not when its whole segment
    // has arrived: a launcher killed meanwhile keeps it.
    downloader.onFileInstalled = [this](const std::wstring& name, CdnTaskKind kind) { RecordInstalled(name, kind); };
}

bool CResourceManager::HasGameResourceEntry(const std::vector<ResoureConfigInfo>& list) const {
    for (const ResoureConfigInfo& entry : list) {
        if (!IsLauncherCategory(entry.category)) return true;
    }
    return false;
}

CdnListTargets CResourceManager::ListTargets() const {
    CdnListTargets targets;
    targets.launcherRoot = launcherFilesFolder;
    targets.resourceFilesFolder = resourceFilesFolder;
    targets.ownFiles = {resourceRoot + kVersionFileName, launcherRoot + kLauncherManifestName,
                        StagingFilePath(launcherFilesFolder), resourceRoot + ListTrust::kSerialFileName};
    return targets;
}

bool CResourceManager::ReadCdnList(const std::wstring& text, std::vector<ResoureConfigInfo>* list) {
    CdnListCheck check = ReadCdnResourceList(text, ListTargets(), list);
    if (check.fault == CdnListFault::None) return true;
    DebugTrace(L"资源列表第" + IntToText(check.line) + L"行无效\t" + check.lineText);
    return false;
}

void CResourceManager::OnConfigDownloaded(CDNDownloadState state, const std::wstring& listText,
                                          const FailureCause& cause) {
    launcherDownloads.clear();
    launcherDeletes.clear();
    resourceDeletes.clear();
    resourceDownloads.clear();
    // The whole list is read before anything acts on it: one bad line (a page
    // that is no list, a cut line, a bad number, a name clash) refuses it all.
    std::vector<ResoureConfigInfo> list;
    bool refused = state == CDNDownloadState::Succeeded && !ReadCdnList(listText, &list);
    // A list without a single game resource (an empty answer, a cut-off file)
    // would withdraw every installed resource: it counts as no list at all.
    refused = refused ||
              (state == CDNDownloadState::Succeeded && !HasGameResourceEntry(list) && !localResourceMap.empty());
    if (state != CDNDownloadState::Succeeded || refused) {
        DebugTrace(L"校验cdn资源信息失败");
        // A list that arrived but cannot be read is no list: the answer was wrong.
        const FailureCause why = refused ? FailureCause(FailureKind::BadAnswer, 0) : cause;
        if (why.Known()) DebugTrace(FailureTraceText(why));
        const bool unverified = state == CDNDownloadState::Unverified;
        Report(ResourceManagerProgressState::CdnCompareFailed,
               [unverified, why](UpdateReports& receiver) { receiver.OnCdnCompareFailed(unverified, why); });
        return;
    }
    for (ResoureConfigInfo& entry : list) {
        if (IsLauncherCategory(entry.category)) {
            InsertResourceEntry(&cdnLauncherMap, std::move(entry), L"CDNLauncherInfo插入失败\t");
        } else {
            InsertResourceEntry(&cdnResourceMap, std::move(entry), L"CDNResourceInfo插入失败\t");
        }
    }
    // The comparison starts when the flow asks.
    Report(ResourceManagerProgressState::CdnCompareFinished, &UpdateReports::OnCdnCompareFinished);
}

void CResourceManager::StartComparison(bool repair) {
    PostWork([this, repair] { CompareWithCdn(repair); }, &CResourceManager::ReportCompareFailed);
}

void CResourceManager::CompareWithCdn(bool repair) {
    std::shared_ptr<Comparison> comparison = std::make_shared<Comparison>();
    // One listing of the game root: which installed files are still there, and
    // the temporary files a killed run left behind are removed.
    InstalledFiles& onDisk = comparison->onDisk;
    onDisk.Scan(resourceRoot, kResourceFilesFolderName, localResourceMap.size());
    // Entries whose files are gone or damaged lose their MD5 in the local map;
    // only then does version.txt need writing again.
    bool forgotten = repair && VerifyInstalledFiles(onDisk) > 0;
    if (Stopping()) return;
    uint64_t total = 0;
    CompareLists(&localLauncherMap, cdnLauncherMap, &launcherDownloads, &launcherDeletes, nullptr);
    for (const ResourceUpdateItem& item : launcherDownloads) total += item.size;
    CompareLists(&localResourceMap, cdnResourceMap, &resourceDownloads, &resourceDeletes,
                 [&onDisk, &forgotten](const std::wstring& name) {
                     bool there = onDisk.Contains(name);
                     forgotten |= !there;
                     return there;
                 });
    bool worthIndex = false;
    for (ResourceUpdateItem& item : resourceDownloads) {
        total += item.size;
        // What is on the disk stays whole until its replacement is verified,
        // whatever version.txt says of it.
        item.fileOnDisk = item.change == ResourceChangeKind::Added && onDisk.Contains(item.name);
        worthIndex |= item.size >= kIndexWorthMemberBytes;
    }
    comparison->total = total;
    comparison->forgotten = forgotten;
    if (!worthIndex) {
        FinishComparison(comparison, nullptr);
        return;
    }
    // The update thread goes on with other work while the index comes (within
    // its limit, whatever the server does); the comparison ends when it is had.
    downloader.FetchContentIndex([this, comparison](std::unique_ptr<ContentIndex> index) {
        FinishComparison(comparison, index.get());
    });
}

void CResourceManager::FinishComparison(const std::shared_ptr<Comparison>& comparison, const ContentIndex* index) {
    if (Stopping()) return;
    uint64_t total = comparison->total;
    // Files rebuilt from chunks keep what an earlier run left under their
    // temporary names; every other leftover goes. A stop meanwhile (the index
    // not fetched) must not take a killed run's chunks for leftovers.
    std::unordered_set<std::wstring> rebuilding;
    if (index) rebuilding = PlanChunkedFiles(*index, &total);
    if (Stopping()) return;
    size_t removed = comparison->onDisk.RemoveTemporaries(rebuilding);
    if (removed > 0) DebugTrace(L"清理临时文件\t" + IntToText(static_cast<int32_t>(removed)));
    // Should this save fail, the one before the batch fails too and stops the run.
    if (comparison->forgotten) SaveLocalVersionFile();
    // Also when there is nothing to fetch: the flow starts the batches (or ends
    // the run) on its own thread either way.
    const int64_t size = static_cast<int64_t>(total);
    DebugTrace(L"比对完成,需要下载\t" + IntToText(static_cast<int32_t>(launcherDownloads.size() + resourceDownloads.size())) +
               L"\t" + std::to_wstring(size));
    Report(ResourceManagerProgressState::RequestDownloadTotalSize,
           [size](UpdateReports& receiver) { receiver.OnDownloadTotalSize(size); });
}

std::unordered_set<std::wstring> CResourceManager::PlanChunkedFiles(const ContentIndex& index, uint64_t* total) {
    std::unordered_set<std::wstring> rebuilding;
    // The same floor as the batch's writes: a drive too full for a rebuild
    // gets the whole file instead, and the size check before the batch says so.
    DiskSpaceGuard space(resourceFilesFolder, downloader.freeSpaceFloor, downloader.freeSpaceQuery);
    // What is read: each rebuilt file's temporary file and installed copy, at most.
    struct Planned {
        ResourceUpdateItem* item;
        const ContentIndexEntry* entry;
        std::wstring path;
    };
    std::vector<Planned> planned;
    int64_t toRead = 0;
    for (ResourceUpdateItem& item : resourceDownloads) {
        const ContentIndexEntry* entry = index.Find(item.name);
        // An entry that does not fit the list's is not used at all.
        if (!entry || (!entry->chunks.empty() && entry->MemberEnd() != item.size)) continue;
        item.sha256 = entry->sha256;
        std::wstring path;
        if (entry->chunks.empty() || !ResourcePathUnder(resourceFilesFolder, item.name, &path)) continue;
        toRead += static_cast<int64_t>(FileSizeOrZero(path) + FileSizeOrZero(path + kResourceTemporarySuffix));
        planned.push_back(Planned{&item, entry, path});
    }
    // Cutting and hashing large installed files takes a while: once it has
    // taken long enough to be noticed, it shows as a check of the game files.
    const ULONGLONG started = ::GetTickCount64();
    ULONGLONG lastReport = 0;
    int64_t read = 0;
    auto onBytesRead = [&](uint64_t bytes) {
        read += static_cast<int64_t>(bytes);
        const ULONGLONG now = ::GetTickCount64();
        if (now - started >= GetUpdateTimings().checkProgressAfterMs && now - lastReport >= 50) {
            lastReport = now;
            ReportCheckProgress(std::min(read, toRead), toRead);
        }
        return !Stopping();  // a closing window waits for no large file
    };
    for (const Planned& plan : planned) {
        ResourceUpdateItem& item = *plan.item;
        std::shared_ptr<ChunkedFileAssembly> assembly(new ChunkedFileAssembly(*plan.entry, plan.path, item.cdnMd5));
        if (!assembly->Prepare(onBytesRead, &space)) {
            if (Stopping()) break;  // the chunks copied so far stay for the next run
            DebugTrace(L"分块准备失败\t" + item.name + L"\t" + IntToText(static_cast<int32_t>(::GetLastError())));
            continue;
        }
        rebuilding.insert(InstalledFiles::TemporaryPathKey(plan.path + kResourceTemporarySuffix));
        *total = *total - item.size + assembly->MissingMemberBytes();
        // Chunks missing of all, the file's size and the bytes to fetch for it.
        DebugTrace(L"分块更新\t" + item.name + L"\t" +
                   IntToText(static_cast<int32_t>(assembly->MissingChunks().size())) + L"/" +
                   IntToText(static_cast<int32_t>(plan.entry->chunks.size())) + L"\t" +
                   std::to_wstring(plan.entry->FileSize()) + L"\t" + std::to_wstring(assembly->MissingMemberBytes()));
        item.chunked = assembly;
    }
    if (lastReport != 0) ReportCheckProgress(toRead, toRead);
    return rebuilding;
}

void CResourceManager::ReportCheckProgress(int64_t read, int64_t total) {
    Report(ResourceManagerProgressState::VerifyProgress,
           [read, total](UpdateReports& receiver) { receiver.OnVerifyProgress(read, total); });
}

void CResourceManager::StartBatches() {
    PostWork(
        [this] {
            if (!StartLauncherUpdate()) StartResourceUpdate();
        },
        &CResourceManager::ReportResourceDownloadFailed);
}

bool CResourceManager::StartLauncherUpdate() {
    DebugTrace(L"开始比对CDN与本地Launcher");
    if (launcherDownloads.empty()) {
        DebugTrace(L"Launcher校验完毕,没有Launcher资源需要更新");
        return false;
    }
    // launcherDeletes stay as they are: launcher files are never deleted.
    Report(ResourceManagerProgressState::LauncherDownloadStarted, &UpdateReports::OnLauncherDownloadStarted);
    downloader.StartBatch(launcherDownloads, CdnTaskKind::LauncherFile);
    return true;
}

void CResourceManager::StartResourceUpdate() {
    DebugTrace(L"开始比对CDN与本地资源");
    // version.txt must never name a file whose bytes are not the ones it lists:
    // withdrawn resources leave it before their files go, and so do resources
    // about to be replaced (their new MD5 comes back once the new file is in
    // place). Until then the installed files stay untouched on disk.
    // Should that save fail (version.txt read-only, or held open by another
    // program), no file is touched: the run stops with its failure box.
    bool changed = false;
    for (const ResourceUpdateItem& item : resourceDeletes) changed |= localResourceMap.erase(item.name) > 0;
    for (const ResourceUpdateItem& item : resourceDownloads) changed |= localResourceMap.erase(item.name) > 0;
    FailureCause unsaved;
    if (changed && !SaveLocalVersionFile(&unsaved)) {
        ReportResourceDownloadFailed(unsaved);
        return;
    }
    // A withdrawn name that Windows takes for one being downloaded ("A.txt"
    // against "a.txt") is the same file: it is replaced, not deleted first.
    std::unordered_set<std::wstring> downloading;
    for (const ResourceUpdateItem& item : resourceDownloads) downloading.insert(FoldResourceName(item.name));
    for (const ResourceUpdateItem& item : resourceDeletes) {
        std::wstring path;
        if (!ResourcePathUnder(resourceFilesFolder, item.name, &path)) continue;  // never outside the root
        if (downloading.count(FoldResourceName(item.name))) continue;
        DeleteExistingFile(path);
    }
    if (!resourceDownloads.empty()) {
        StartSaveTicker();
        Report(ResourceManagerProgressState::ResourceDownloadStarted, &UpdateReports::OnResourceDownloadStarted);
        downloader.StartBatch(resourceDownloads, CdnTaskKind::GameResource);
    } else {
        DebugTrace(L"资源校验完毕,没有资源需要更新");
        Report(ResourceManagerProgressState::ResourceUpdateFinished, &UpdateReports::OnResourceUpdateFinished);
    }
}

size_t CResourceManager::VerifyInstalledFiles(const InstalledFiles& onDisk) {
    // Only files the update would otherwise keep: those the CDN lists with the
    // MD5 version.txt gives them. Every other one is replaced or withdrawn anyway.
    std::vector<std::pair<std::wstring, std::wstring>> toCheck;  // name, md5
    int64_t totalBytes = 0;
    for (const auto& local : localResourceMap) {
        auto cdn = cdnResourceMap.find(local.first);
        if (cdn == cdnResourceMap.end() || cdn->second.md5 != local.second.md5) continue;
        if (!onDisk.Contains(local.first)) continue;  // missing: downloaded again without reading
        toCheck.emplace_back(local.first, local.second.md5);
        totalBytes += static_cast<int64_t>(onDisk.SizeOf(local.first));
    }
    DebugTrace(L"开始校验游戏文件\t" + IntToText(static_cast<int32_t>(toCheck.size())) + L"\t" +
               std::to_wstring(totalBytes));
    int64_t readBytes = 0;
    auto reportRead = [this, &readBytes, totalBytes] { ReportCheckProgress(readBytes, totalBytes); };
    reportRead();
    DWORD lastReport = ::GetTickCount();
    std::vector<std::wstring> damaged;
    for (const auto& file : toCheck) {
        std::wstring path;
        std::string md5;
        bool intact = ResourcePathUnder(resourceFilesFolder, file.first, &path) &&
                      Md5OfFileHex(path, &md5, [&](uint64_t bytes) {
                          readBytes += static_cast<int64_t>(bytes);
                          if (::GetTickCount() - lastReport >= 50) {
                              lastReport = ::GetTickCount();
                              reportRead();
                          }
                          return !Stopping();  // a closing window waits for no large file
                      }) &&
                      SameMd5Hex(md5, file.second);
        if (Stopping()) return 0;  // unchecked files keep their MD5
        if (!intact) {
            DebugTrace(L"游戏文件校验失败\t" + file.first);
            damaged.push_back(file.first);
        }
    }
    // What was read, against what the listing promised: the figures shown are these.
    DebugTrace(L"游戏文件校验完毕\t" + IntToText(static_cast<int32_t>(damaged.size())) + L"\t" +
               std::to_wstring(readBytes) + L"/" + std::to_wstring(totalBytes));
    readBytes = totalBytes;
    reportRead();
    // A damaged file counts as not installed: the comparison fetches it again.
    for (const std::wstring& name : damaged) localResourceMap[name].md5.clear();
    return damaged.size();
}

bool CResourceManager::SaveLocalVersionFile(FailureCause* cause) {
    if (!localListsLoaded) return true;
    // An empty map is saved as an empty file: keeping the old text would
    // name files that are being withdrawn or replaced.
    std::wstring text;
    FormatResourceList(localResourceMap, &text);
    versionFileDirty = false;
    DWORD started = ::GetTickCount();
    bool saved = ReplaceFileBytes(resourceRoot + kVersionFileName, TextToUtf8String(text));
    if (!saved) {
        const DWORD error = ::GetLastError();
        DebugTrace(L"保存本地资源信息失败\t" + IntToText(static_cast<int32_t>(error)));
        if (cause) *cause = DiskFailure(error, kVersionFileName);
        versionFileDirty = true;  // what it lacks is still to be saved
    }
    lastVersionSaveCost = ::GetTickCount() - started;
    return saved;
}

void CResourceManager::StartSaveTicker() {
    ++saveTickerRun;
    PostSaveTick();
}

void CResourceManager::PostSaveTick() {
    // About once a second, by the clock rather than by files completing. A
    // list so long that one save takes a noticeable time is saved less often:
    // saving never takes more than about a tenth of the batch.
    DWORD interval = lastVersionSaveCost * 10 > kVersionSaveIntervalMs ? lastVersionSaveCost * 10
                                                                        : kVersionSaveIntervalMs;
    const uint32_t run = saveTickerRun;
    updateThread.PostAfter(interval, [this, run] { OnSaveTick(run); });
}

void CResourceManager::OnSaveTick(uint32_t run) {
    if (run != saveTickerRun) return;  // that batch has ended
    if (versionFileDirty) SaveLocalVersionFile();
    PostSaveTick();
}

void CResourceManager::RecordInstalled(const std::wstring& name, CdnTaskKind kind) {
    ResourceInfoMap* local;
    ResourceInfoMap* cdn;
    if (kind == CdnTaskKind::GameResource) {
        local = &localResourceMap;
        cdn = &cdnResourceMap;
    } else if (kind == CdnTaskKind::LauncherFile) {
        local = &localLauncherMap;
        cdn = &cdnLauncherMap;
    } else {
        return;
    }
    auto fromCdn = cdn->find(name);
    if (fromCdn == cdn->end()) return;
    auto installed = local->find(name);
    if (installed == local->end()) {
        local->emplace(name, fromCdn->second);
    } else {
        installed->second.md5 = fromCdn->second.md5;
    }
    if (local == &localResourceMap) versionFileDirty = true;
}

void CResourceManager::OnBatchFinished(CDNDownloadState state, CdnTaskKind kind, const FailureCause& cause) {
    if (kind == CdnTaskKind::LauncherFile) {
        FailureCause why = cause;
        if (state == CDNDownloadState::Succeeded) {
            if (StoreLauncherManifest(StagingFilePath(launcherFilesFolder), localLauncherMap)) {
                Report(ResourceManagerProgressState::LauncherUpdateFinished, &UpdateReports::OnLauncherUpdateFinished);
                return;
            }
            // Never marked complete: the entrance program must not apply it.
            why = DiskFailure(::GetLastError(), StagingFilePath(launcherFilesFolder));
            DeleteStagingFile(StagingFilePath(launcherFilesFolder));
        }
        Report(ResourceManagerProgressState::LauncherDownloadFailed,
               [why](UpdateReports& receiver) { receiver.OnLauncherDownloadFailed(why); });
    } else if (kind == CdnTaskKind::GameResource) {
        // A batch whose files version.txt cannot name is no success: the next
        // run would take them for files it does not know.
        StopSaveTicker();
        FailureCause unsaved;
        bool saved = SaveLocalVersionFile(&unsaved);
        if (state == CDNDownloadState::Succeeded && saved) {
            Report(ResourceManagerProgressState::ResourceUpdateFinished, &UpdateReports::OnResourceUpdateFinished);
        } else {
            ReportResourceDownloadFailed(state == CDNDownloadState::Succeeded ? unsaved : cause);
        }
    }
}

// Through the update thread, so a pause asked right after StartBatches finds its batch.
void CResourceManager::PauseDownload() {
    PostWork([this] { downloader.Pause(); }, nullptr);
}

void CResourceManager::ResumeDownload() {
    PostWork([this] { downloader.Resume(); }, nullptr);
}

void CResourceManager::StopForClose() {
    ::InterlockedExchange(&stopping, 1);
    // Stopped first: a comparison waiting for the content index goes on, and
    // the save comes after every file recorded before it.
    downloader.StopAll();
    updateThread.Call([this] { SaveLocalVersionFile(); });
    updateThread.Stop();
}

void CResourceManager::OnBatchPaused(CdnTaskKind kind) {
    // The files verified so far are named at once, so a launcher closed while
    // paused loses none of them.
    if (kind == CdnTaskKind::GameResource) SaveLocalVersionFile();
    Report(ResourceManagerProgressState::DownloadPaused, &UpdateReports::OnDownloadPaused);
}

void CResourceManager::OnDownloadProgress(int64_t downloaded, int64_t total) {
    Report(ResourceManagerProgressState::DownloadProgress,
           [downloaded, total](UpdateReports& receiver) { receiver.OnDownloadProgress(downloaded, total); });
}

std::wstring CResourceManager::ComputeResourceHash() {
    std::wstring root;
    updateThread.Call([this, &root] { root = resourceRoot; });
    if (root.empty()) return std::wstring();
    std::vector<ResoureConfigInfo> list;
    if (!LoadListFile(root + kVersionFileName, &list)) return std::wstring();
    std::stable_sort(list.begin(), list.end(),
                     [](const ResoureConfigInfo& a, const ResoureConfigInfo& b) { return a.name < b.name; });
    std::wstring concatenated;
    for (const ResoureConfigInfo& entry : list) concatenated += entry.md5;
    return Md5OfText(concatenated);
}
