#pragma once
// Where a CDN host keeps its release, from the URL of its list: the list
// itself, and the base its packages' folders hang from. The launcher server
// may name several hosts; each one's layout is derived from its own list URL.
#include <string>
#include <vector>

// The list URL as requested: backslashes become slashes.
std::wstring CdnListUrl(const std::wstring& listUrl);
// The packages live two levels above the list: .../a/b/list.txt gives .../a/
// (always ending in "/").
std::wstring CdnResourceBase(const std::wstring& listUrl);
// The URL prefixes the download engine maps between hosts (HostRouter): for
// each list URL (the primary first), its list and its resource base.
std::vector<std::vector<std::wstring>> CdnHostPrefixes(const std::vector<std::wstring>& listUrls);
