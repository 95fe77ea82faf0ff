#pragma once
// Helpers for tests running under the Wine harness.
#include <string>

// The value of an environment variable ("" when unset).
std::wstring TestEnv(const wchar_t* name);
// The Unix build folder's files as the test sees them: C:\drel-bin is the build's bin folder.
std::wstring TestBinFolder();  // "C:\drel-bin\"
// The base URL of the test nginx (from BUILD_DIR/nginx/url), e.g. http://127.0.0.1:18080/
// and the Windows folder it serves (C:\cdn\). Empty when the fixture did not run.
std::wstring NginxBaseUrl();
std::wstring NginxRootFolder();
// A fresh empty folder below C:\drel-test\ (removed and recreated).
std::wstring FreshTestFolder(const std::wstring& name);
// Removes a folder tree (used on test folders only).
void RemoveTree(const std::wstring& folder);
