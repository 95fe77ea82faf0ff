#include "launcher/DesktopShortcut.h"

#include <windows.h>
#include <shlobj.h>

#include "afx/ScopedWin.h"

void CreateDesktopShortcut(const std::wstring& target, const std::wstring& name) {
    ScopedComInit com;
    if (!com.Succeeded()) return;
    ScopedComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.ReceiveVoid()))) {
        return;
    }
    link->SetPath(target.c_str());
    ScopedComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return;
    wchar_t desktop[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop))) return;
    std::wstring path = std::wstring(desktop) + L"\\" + name;
    file->Save(path.c_str(), FALSE);
}
