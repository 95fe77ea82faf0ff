#pragma once
// Comparing a local resource map with a CDN map.
#include <functional>
#include <string>
#include <vector>

#include "update/ResourceList.h"

// Appends to *downloads the CDN entries that are new (Added) or whose md5 text
// differs (Modified, exact comparison), and to *deletes the local entries the
// CDN no longer lists (Removed), each in name order. When localFileExists is
// set, a local entry whose file is missing first gets an empty md5 in
// localMap, so it is downloaded again.
void CompareLists(ResourceInfoMap* localMap, const ResourceInfoMap& cdnMap,
                  std::vector<ResourceUpdateItem>* downloads, std::vector<ResourceUpdateItem>* deletes,
                  const std::function<bool(const std::wstring&)>& localFileExists);
