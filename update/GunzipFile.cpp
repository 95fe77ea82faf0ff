#include "update/GunzipFile.h"

#include <cstdio>
#include <zlib.h>

bool GunzipFile(const std::string& targetPath, const std::string& sourcePath) {
    gzFile source = gzopen(sourcePath.c_str(), "rb");
    if (!source) return false;
    FILE* target = std::fopen(targetPath.c_str(), "wb");
    if (!target) {
        gzclose(source);
        return false;
    }
    bool ok = true;
    char buffer[1024];
    for (;;) {
        int n = gzread(source, buffer, sizeof(buffer));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (std::fwrite(buffer, 1, static_cast<size_t>(n), target) != static_cast<size_t>(n)) {
            ok = false;
            break;
        }
    }
    if (std::fclose(target) != 0) ok = false;
    // gzread reports a range cut inside a gzip stream as a plain end of data;
    // only gzclose tells (Z_BUF_ERROR). Such a file must not count as good.
    if (gzclose(source) != Z_OK) ok = false;
    return ok;
}
