#include "ui/SkinFont.h"

#include <map>
#include <vector>

#include "afx/ScopedWin.h"

namespace {

bool FamilyExists(const std::wstring& name) {
    if (name.empty()) return false;
    Gdiplus::FontFamily family(name.c_str());
    return family.GetLastStatus() == Gdiplus::Ok && family.IsAvailable();
}

std::vector<std::wstring> AliasesOf(const std::wstring& face) {
    if (face == L"宋体" || face == L"SimSun") return {L"SimSun", L"宋体", L"NSimSun", L"新宋体"};
    if (face == L"微软雅黑" || face == L"Microsoft YaHei") {
        return {L"Microsoft YaHei", L"微软雅黑", L"Microsoft YaHei UI"};
    }
    return {};
}

// Families with Chinese glyphs, most likely first.
const wchar_t* const kCjkCandidates[] = {
    L"Microsoft YaHei", L"SimSun", L"SimHei", L"NSimSun", L"DengXian",
    L"WenQuanYi Micro Hei", L"WenQuanYi Zen Hei", L"Noto Sans CJK SC", L"Noto Sans SC",
    L"Source Han Sans SC", L"Source Han Sans CN", L"Droid Sans Fallback", L"AR PL UMing CN",
    L"AR PL UKai CN", L"Noto Serif CJK SC",
};

int CALLBACK CollectFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    auto* names = reinterpret_cast<std::vector<std::wstring>*>(param);
    if (font->lfFaceName[0] != L'@') names->push_back(font->lfFaceName);  // not the vertical variants
    return 1;
}

// Families GDI lists for the simplified-Chinese character set.
std::vector<std::wstring> Gb2312Families() {
    std::vector<std::wstring> names;
    ScopedScreenDc dc(::GetDC(nullptr));
    if (!dc) return names;
    LOGFONTW query = {};
    query.lfCharSet = GB2312_CHARSET;
    ::EnumFontFamiliesExW(dc.Get(), &query, &CollectFamily, reinterpret_cast<LPARAM>(&names), 0);
    return names;
}

std::wstring Resolve(const std::wstring& face) {
    if (FamilyExists(face)) return face;
    for (const std::wstring& alias : AliasesOf(face)) {
        if (FamilyExists(alias)) return alias;
    }
    for (const wchar_t* candidate : kCjkCandidates) {
        if (FamilyExists(candidate)) return candidate;
    }
    for (const std::wstring& listed : Gb2312Families()) {
        if (FamilyExists(listed)) return listed;
    }
    const Gdiplus::FontFamily* generic = Gdiplus::FontFamily::GenericSansSerif();
    wchar_t name[LF_FACESIZE] = {};
    if (generic && generic->GetFamilyName(name) == Gdiplus::Ok && name[0]) return name;
    return face;
}

}  // namespace

std::wstring ResolveFontFamily(const std::wstring& face) {
    static CriticalSection lock;
    static std::map<std::wstring, std::wstring> resolved;
    ScopedLock hold(lock);
    auto found = resolved.find(face);
    if (found != resolved.end()) return found->second;
    std::wstring name = Resolve(face);
    resolved[face] = name;
    return name;
}

std::unique_ptr<Gdiplus::Font> MakeSkinFont(const std::wstring& face, float size, int style, int unit) {
    std::wstring family = ResolveFontFamily(face);
    auto font = std::make_unique<Gdiplus::Font>(family.c_str(), size, style, static_cast<Gdiplus::Unit>(unit));
    if (font->GetLastStatus() != Gdiplus::Ok) {
        font = std::make_unique<Gdiplus::Font>(Gdiplus::FontFamily::GenericSansSerif(), size, style,
                                               static_cast<Gdiplus::Unit>(unit));
    }
    return font;
}
