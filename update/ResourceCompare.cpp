#include "update/ResourceCompare.h"

namespace {

ResourceUpdateItem MakeItem(const ResoureConfigInfo& entry, ResourceChangeKind change,
                            const std::wstring& localMd5, const std::wstring& cdnMd5) {
    ResourceUpdateItem item;
    item.name = entry.name;
    item.localMd5 = localMd5;
    item.cdnMd5 = cdnMd5;
    item.change = change;
    item.remoteFolder = entry.remoteFolder;
    item.offset = entry.offset;
    item.size = entry.size;
    return item;
}

}  // namespace

void CompareLists(ResourceInfoMap* localMap, const ResourceInfoMap& cdnMap,
                  std::vector<ResourceUpdateItem>* downloads, std::vector<ResourceUpdateItem>* deletes,
                  const std::function<bool(const std::wstring&)>& localFileExists) {
    if (localFileExists) {
        for (auto& local : *localMap) {
            if (!localFileExists(local.first)) local.second.md5.clear();
        }
    }
    // Both maps are in the same name order: one walk over both finds every
    // change, where a look-up per name would search the other map each time.
    auto local = localMap->begin();
    auto cdn = cdnMap.begin();
    while (local != localMap->end() || cdn != cdnMap.end()) {
        int order = local == localMap->end() ? 1 : cdn == cdnMap.end() ? -1 : local->first.compare(cdn->first);
        if (order > 0) {
            downloads->push_back(MakeItem(cdn->second, ResourceChangeKind::Added, L"", cdn->second.md5));
            ++cdn;
        } else if (order < 0) {
            deletes->push_back(MakeItem(local->second, ResourceChangeKind::Removed, L"", local->second.md5));
            ++local;
        } else {
            if (local->second.md5 != cdn->second.md5) {
                downloads->push_back(
                    MakeItem(cdn->second, ResourceChangeKind::Modified, local->second.md5, cdn->second.md5));
            }
            ++local;
            ++cdn;
        }
    }
}
