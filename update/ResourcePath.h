#pragma once
// Entry names arrive from the network (the CDN list) and from version.txt, and
// become paths under a root the launcher owns. Every place that turns a name
// into a path to write, read or delete goes through ResourcePathUnder, so a
// hostile or broken list can never reach a file outside that root.
#include <string>

// Ends the name of every file the launcher writes before it is verified. No
// list entry may carry it, so such a file is always a leftover of a download.
constexpr wchar_t kResourceTemporarySuffix[] = L".drelpart";

// Whether the last segment of a name or path ends in kResourceTemporarySuffix (any case).
bool HasTemporarySuffix(const std::wstring& name);

// A name or path as Windows compares it: "/" as "\", upper-cased with the
// simple, locale-independent case mapping the file system uses.
std::wstring FoldResourceName(std::wstring name);

// The path of an entry under root (a folder ending in a backslash). "/" in the
// name counts as "\", so "a/b.png" lands in root's sub-folder "a". False, with
// *path untouched, for a name that is empty, absolute, has a drive letter, a
// UNC or device prefix, a ":" (alternate data stream), an empty, "." or ".."
// segment, a segment Windows would trim to another name (trailing dot or blank),
// a reserved device name (CON, NUL, COM1...), a character a file name cannot
// hold, or a segment ending in the launcher's temporary suffix ".drelpart".
// What is left resolves to root followed by the name, as Windows resolves paths;
// a long one is given in the "\\?\" form (LongPathForm), so deep game
// folders install.
bool ResourcePathUnder(const std::wstring& root, const std::wstring& name, std::wstring* path);
