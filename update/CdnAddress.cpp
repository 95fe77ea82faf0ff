#include "update/CdnAddress.h"

#include <algorithm>

std::wstring CdnListUrl(const std::wstring& listUrl) {
    std::wstring url = listUrl;
    std::replace(url.begin(), url.end(), L'\\', L'/');
    return url;
}

std::wstring CdnResourceBase(const std::wstring& listUrl) {
    std::wstring base = CdnListUrl(listUrl);
    for (int i = 0; i < 2; ++i) {
        size_t slash = base.rfind(L'/');
        if (slash != std::wstring::npos) base.erase(slash);
    }
    return base + L"/";
}

std::vector<std::vector<std::wstring>> CdnHostPrefixes(const std::vector<std::wstring>& listUrls) {
    std::vector<std::vector<std::wstring>> prefixes;
    for (const std::wstring& url : listUrls) prefixes.push_back({CdnListUrl(url), CdnResourceBase(url)});
    return prefixes;
}
