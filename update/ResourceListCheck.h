#pragma once
// The CDN list arrives over plain HTTP from servers and proxies the launcher
// does not control: an HTML error page, a captive portal or a list cut short
// must never count as a release that withdrew the installed files. So the list
// is read strictly and whole before anything is compared, deleted or
// downloaded; a single bad line refuses all of it. (The local lists keep the
// lenient reading of ParseResourceList.)
//
// Every line is name=md5=folder=offset=size[=category], each field present
// (blanks around fields do not count); blank lines may only end the list (a
// reader that stopped at a blank line would take the entries after it for
// withdrawn files, so a list with lines after a blank one is refused). Where
// - name is a safe path under its root (ResourcePathUnder), not a temporary
//   file's name (".drelpart"), and names a file no earlier line names, with
//   case and "/" against "\" folded, launcher and game entries compared by the
//   file they land in; it is none of the launcher's own files;
// - md5 is 32 hexadecimal digits;
// - offset and size are plain decimal digits, size fits 32 bits unsigned and
//   offset + size fits a signed 64-bit number;
// - the entry can be installed at all: its size is not 0 (no gzip member is
//   empty), and Windows can hold its full path with the temporary suffix (no
//   name in it over 255 characters, the whole under 32,767 in the long form;
//   deep folders beyond MAX_PATH install).
#include <string>
#include <vector>

#include "update/ResourceList.h"

// Where the entries of a CDN list land.
struct CdnListTargets {
    std::wstring launcherRoot;           // launcher entries' names are relative to it
    std::wstring resourceFilesFolder;    // game entries' names are relative to it
    std::vector<std::wstring> ownFiles;  // full paths of the launcher's own files no entry may name
};

enum class CdnListFault {
    None = 0,
    Fields,     // not five or six non-empty fields: a page, a line cut short
    Md5,        // not 32 hexadecimal digits
    Number,     // offset or size not plain digits, or out of range
    Name,       // no safe path under its root, or a temporary file's name
    Duplicate,  // the same file as an earlier line
    OwnFile,    // one of the launcher's own files
    Uninstallable,  // size 0, or a path too long to write
    BlankLine,      // a blank line with entries after it
};

struct CdnListCheck {
    CdnListFault fault = CdnListFault::None;
    int line = 0;          // the first bad line, counted from 1 (blank lines count; for
                           // BlankLine, the blank line)
    std::wstring lineText; // that line as received
};

// Reads the whole list. Without a fault, entries gets one entry per non-blank
// line, in line order; with one, entries is left empty.
CdnListCheck ReadCdnResourceList(const std::wstring& text, const CdnListTargets& targets,
                                 std::vector<ResoureConfigInfo>* entries);
