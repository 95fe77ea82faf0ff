#include "update/ResourceManager.h"

#include <algorithm>

#include "download/FileUtils.h"
#include "launcher/LauncherLog.h"
#include "update/FileReplace.h"
#include "update/LauncherStaging.h"
#include "update/ResourceCompare.h"
#include "update/ResourcePath.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kVersionFileName[] = L"version.txt";
const wchar_t kLauncherManifestName[] = L"launcher_manifest.txt";
const wchar_t kResourceFilesFolderName[] = L"game\\";

void ReplaceAll(std::wstring* text, wchar_t from, wchar_t to) {
    std::replace(text->begin(), text->end(), from, to);
}

}  // namespace

CResourceManager& CResourceManager::GetInstance() {
    static CResourceManager* instance = new CResourceManager(CCDNResourceDownloader::GetInstance());
    return *instance;
}

void CResourceManager::SetProgressCallback(ProgressCallback callback) { progressCallback = std::move(callback); }

void CResourceManager::Report(ResourceManagerProgressState state, ResourceManagerProgressInfoBase* info) {
    if (progressCallback) progressCallback(state, info);
}

void CResourceManager::Initialize(const std::wstring& launcherRootFolder, const std::wstring& resourceRootFolder,
                                  const std::wstring& listUrl) {
    {
        ScopedLock hold(lock);
        localResourceMap.clear();
        localLauncherMap.clear();
        cdnResourceMap.clear();
        cdnLauncherMap.clear();
    }
    resourceRoot = resourceRootFolder;
    resourceFilesFolder = resourceRootFolder + kResourceFilesFolderName;
    launcherRoot = launcherRootFolder;
    launcherFilesFolder = launcherRootFolder;
    configUrl = listUrl;
    ReplaceAll(&configUrl, L'\\', L'/');
    // The packages live two levels above the list: .../a/b/list.txt gives .../a/
    resourceBaseUrl = listUrl;
    for (int i = 0; i < 2; ++i) {
        size_t slash = resourceBaseUrl.rfind(L'/');
        if (slash != std::wstring::npos) resourceBaseUrl.erase(slash);
    }
    resourceBaseUrl += L"/";
    ReplaceAll(&resourceBaseUrl, L'\\', L'/');

    LoadLocalResourceInfo();
    LoadLauncherInfo();
    ConnectDownloader();
    DebugTrace(L"初始化cdn资源信息");
    Report(ResourceManagerProgressState::CdnCompareStarted);
    downloader.StartConfigDownload();
}

bool CResourceManager::LoadListFile(const std::wstring& path, std::vector<ResoureConfigInfo>* list) {
    DebugTrace(L"资源配置文件路径:\t" + path);
    std::wstring text;
    if (!ReadUtf8TextFile(path, &text)) return false;
    DebugTrace(L"资源配置文件内容:\r\n" + text);
    return ParseResourceList(text, list);
}

void CResourceManager::LoadLocalList(const LocalListTexts& texts, const std::wstring& folder, ResourceInfoMap* map) {
    DebugTrace(texts.startTrace);
    Report(texts.started);
    std::vector<ResoureConfigInfo> list;
    if (!folder.empty() && LoadListFile(folder + texts.fileName, &list)) {
        ScopedLock hold(lock);
        for (const ResoureConfigInfo& entry : list) InsertResourceEntry(map, entry, texts.duplicatePrefix);
    }
    DebugTrace(texts.doneTrace + IntToText(static_cast<int32_t>(map->size())));
    Report(texts.finished);
}

void CResourceManager::LoadLocalResourceInfo() {
    static const LocalListTexts texts = {
        kVersionFileName, L"LocalResourceInfo插入失败\t", L"初始化本地资源信息", L"初始化本地资源信息完成，配置数量",
        ResourceManagerProgressState::LocalCheckStarted, ResourceManagerProgressState::LocalCheckFinished};
    LoadLocalList(texts, resourceRoot, &localResourceMap);
}

void CResourceManager::LoadLauncherInfo() {
    static const LocalListTexts texts = {
        kLauncherManifestName, L"LauncherInfo插入失败\t", L"初始化Launcher信息", L"初始化Launcher配置信息完成，配置数量",
        ResourceManagerProgressState::LauncherInfoStarted, ResourceManagerProgressState::LauncherInfoFinished};
    LoadLocalList(texts, launcherRoot, &localLauncherMap);
}

void CResourceManager::ConnectDownloader() {
    downloader.configUrl = configUrl;
    downloader.resourceBaseUrl = resourceBaseUrl;
    downloader.resourceFilesFolder = resourceFilesFolder;
    downloader.launcherRoot = launcherFilesFolder;
    downloader.onConfigResult = [this](CDNDownloadState state, const std::wstring& listText) {
        OnConfigDownloaded(state, listText);
    };
    downloader.onBatchFinished = [this](CDNDownloadState state, int32_t kind) { OnBatchFinished(state, kind); };
    downloader.onTaskStarted = [this](const DownloadTaskInfo& task) { OnTaskStarted(task); };
    downloader.onTaskFinished = [this](const DownloadTaskInfo& task, CDNDownloadState state) {
        OnTaskFinished(task, state);
    };
    downloader.onDownloadProgress = [this](int64_t downloaded, int64_t total) { OnDownloadProgress(downloaded, total); };
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
                        StagingFilePath(launcherFilesFolder)};
    return targets;
}

bool CResourceManager::ReadCdnList(const std::wstring& text, std::vector<ResoureConfigInfo>* list) {
    CdnListCheck check = ReadCdnResourceList(text, ListTargets(), list);
    if (check.fault == CdnListFault::None) return true;
    DebugTrace(L"资源列表第" + IntToText(check.line) + L"行无效\t" + check.lineText);
    return false;
}

void CResourceManager::OnConfigDownloaded(CDNDownloadState state, const std::wstring& listText) {
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
        Report(ResourceManagerProgressState::CdnCompareFailed);
        return;
    }
    Report(ResourceManagerProgressState::CdnCompareFinished);
    uint64_t total = 0;
    {
        ScopedLock hold(lock);
        for (const ResoureConfigInfo& entry : list) {
            if (IsLauncherCategory(entry.category)) {
                InsertResourceEntry(&cdnLauncherMap, entry, L"CDNLauncherInfo插入失败\t");
            } else {
                InsertResourceEntry(&cdnResourceMap, entry, L"CDNResourceInfo插入失败\t");
            }
        }
        CompareLists(&localLauncherMap, cdnLauncherMap, &launcherDownloads, &launcherDeletes, nullptr);
        for (const ResourceUpdateItem& item : launcherDownloads) total += item.size;
        CompareLists(&localResourceMap, cdnResourceMap, &resourceDownloads, &resourceDeletes,
                     [this](const std::wstring& name) { return LocalResourceExists(name); });
        for (const ResourceUpdateItem& item : resourceDownloads) total += item.size;
    }
    SaveLocalVersionFile();
    if (total == 0) {
        int32_t started = 0;
        StartLauncherUpdate(started);
        if (!started) StartResourceUpdate();
        return;
    }
    RequestDownloadTotalSizeNoticeInfo info;
    info.totalSize = static_cast<int64_t>(total);
    Report(ResourceManagerProgressState::RequestDownloadTotalSize, &info);
}

bool CResourceManager::LocalResourceExists(const std::wstring& name) {
    std::wstring path;
    return ResourcePathUnder(resourceFilesFolder, name, &path) &&
           ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CResourceManager::StartLauncherUpdate(int32_t& started) {
    DebugTrace(L"开始比对CDN与本地Launcher");
    started = 0;
    if (launcherDownloads.empty()) {
        DebugTrace(L"Launcher校验完毕,没有Launcher资源需要更新");
        return true;
    }
    // launcherDeletes stay as they are: launcher files are never deleted.
    started = 1;
    Report(ResourceManagerProgressState::LauncherDownloadStarted);
    downloader.StartBatch(launcherDownloads, CdnTaskKind::LauncherFile);
    return true;
}

int32_t CResourceManager::StartResourceUpdate() {
    DebugTrace(L"开始比对CDN与本地资源");
    bool removed = false;
    for (const ResourceUpdateItem& item : resourceDeletes) {
        std::wstring path;
        if (!ResourcePathUnder(resourceFilesFolder, item.name, &path)) continue;  // never outside the root
        if (DeleteExistingFile(path)) {
            ScopedLock hold(lock);
            localResourceMap.erase(item.name);
            removed = true;
        }
    }
    // Withdrawn resources leave version.txt now, also when nothing is downloaded.
    if (removed) SaveLocalVersionFile();
    if (!resourceDownloads.empty()) {
        Report(ResourceManagerProgressState::ResourceDownloadStarted);
        downloader.StartBatch(resourceDownloads, CdnTaskKind::GameResource);
    } else {
        DebugTrace(L"资源校验完毕,没有资源需要更新");
        Report(ResourceManagerProgressState::ResourceUpdateFinished);
    }
    return 1;
}

void CResourceManager::SaveLocalVersionFile() {
    // Under the lock: the window may close while workers update the map, and two
    // savers must not interleave on the temporary file.
    ScopedLock hold(lock);
    std::wstring text;
    if (!FormatResourceList(localResourceMap, &text)) return;
    ReplaceFileBytes(resourceRoot + kVersionFileName, TextToUtf8String(text));
}

void CResourceManager::OnTaskStarted(const DownloadTaskInfo& task) {}

void CResourceManager::OnTaskFinished(const DownloadTaskInfo& task, CDNDownloadState state) {
    if (state != CDNDownloadState::Succeeded) return;
    ScopedLock hold(lock);
    ResourceInfoMap* local;
    ResourceInfoMap* cdn;
    if (task.kind == static_cast<int32_t>(CdnTaskKind::GameResource)) {
        local = &localResourceMap;
        cdn = &cdnResourceMap;
    } else if (task.kind == static_cast<int32_t>(CdnTaskKind::LauncherFile)) {
        local = &localLauncherMap;
        cdn = &cdnLauncherMap;
    } else {
        return;
    }
    auto fromCdn = cdn->find(task.name);
    if (fromCdn == cdn->end()) return;
    auto installed = local->find(task.name);
    if (installed == local->end()) {
        local->emplace(task.name, fromCdn->second);
    } else {
        installed->second.md5 = fromCdn->second.md5;
    }
}

void CResourceManager::OnBatchFinished(CDNDownloadState state, int32_t kind) {
    if (kind == static_cast<int32_t>(CdnTaskKind::LauncherFile)) {
        if (state == CDNDownloadState::Succeeded) {
            {
                ScopedLock hold(lock);
                StoreLauncherManifest(StagingFilePath(launcherFilesFolder), localLauncherMap);
            }
            Report(ResourceManagerProgressState::LauncherUpdateFinished);
        } else {
            Report(ResourceManagerProgressState::LauncherDownloadFailed);
        }
    } else if (kind == static_cast<int32_t>(CdnTaskKind::GameResource)) {
        SaveLocalVersionFile();
        Report(state == CDNDownloadState::Succeeded ? ResourceManagerProgressState::ResourceUpdateFinished
                                                    : ResourceManagerProgressState::ResourceDownloadFailed);
    }
}

void CResourceManager::OnDownloadProgress(int64_t downloaded, int64_t total) {
    ResourceManagerUpdateProgressInfo info;
    info.downloaded = downloaded;
    info.total = total;
    Report(ResourceManagerProgressState::DownloadProgress, &info);
}

std::wstring CResourceManager::ComputeResourceHash() {
    if (resourceRoot.empty()) return std::wstring();
    std::vector<ResoureConfigInfo> list;
    if (!LoadListFile(resourceRoot + kVersionFileName, &list)) return std::wstring();
    std::stable_sort(list.begin(), list.end(),
                     [](const ResoureConfigInfo& a, const ResoureConfigInfo& b) { return a.name < b.name; });
    std::wstring concatenated;
    for (const ResoureConfigInfo& entry : list) concatenated += entry.md5;
    return Md5OfText(concatenated);
}
