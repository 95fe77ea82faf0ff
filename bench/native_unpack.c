/* The native baseline of the resource-update benchmark: the launcher's work
 * done by a plain Linux program. Three threads each take the next range of the
 * plan, fetch it with a `curl -s -f -r A-B URL` child process and inflate every
 * entry's gzip member with zlib into its file as the bytes arrive.
 *
 * Usage: native_unpack PLAN_FILE OUT_FOLDER [--md5-fsync]
 *   PLAN_FILE as bench/update_bench_data.py plan writes it: one line
 *   "URL START LENGTH COUNT" per range, then COUNT lines "SIZE NAME".
 *   --md5-fsync  also does the work the launcher must add to be trusted: the
 *   MD5 of every file's bytes as they are written (nettle), and fsync before
 *   the file is closed.
 * Prints the seconds from the first fetch to the last file closed; on any
 * failure a message on stderr and exit code 1.
 * Built by bench/update-bench.sh with the host's gcc: -O2 -pthread ... -lz -lnettle
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <nettle/md5.h>
#include <zlib.h>

#define WORKERS 3

struct entry {
    unsigned long size; /* packed bytes in the range */
    char *name;         /* relative, with "/" */
};

struct range {
    char *url;
    unsigned long long start;
    unsigned long long length;
    size_t count;
    struct entry *entries;
};

static struct range *ranges;
static size_t range_count;
static const char *out_folder;
static int md5_fsync; /* --md5-fsync */
static pthread_mutex_t next_lock = PTHREAD_MUTEX_INITIALIZER;
static size_t next_range;

static int fail(const char *what, const char *name) {
    fprintf(stderr, "native_unpack: %s: %s\n", what, name);
    return 0;
}

static int read_plan(const char *path) {
    FILE *plan = fopen(path, "r");
    if (!plan) return fail("cannot open the plan", path);
    char line[PATH_MAX + 64];
    size_t capacity = 0;
    int ok = 1;
    while (ok && fgets(line, sizeof line, plan)) {
        char url[PATH_MAX];
        struct range r;
        if (sscanf(line, "%4095s %llu %llu %zu", url, &r.start, &r.length, &r.count) != 4 || r.count == 0) {
            ok = fail("bad range line", line);
            break;
        }
        r.url = strdup(url);
        r.entries = calloc(r.count, sizeof *r.entries);
        for (size_t i = 0; i < r.count; ++i) {
            char name[PATH_MAX];
            if (!fgets(line, sizeof line, plan) || sscanf(line, "%lu %4095[^\n]", &r.entries[i].size, name) != 2) {
                ok = fail("bad entry line", line);
                break;
            }
            r.entries[i].name = strdup(name);
        }
        if (range_count == capacity) {
            capacity = capacity ? capacity * 2 : 64;
            ranges = realloc(ranges, capacity * sizeof *ranges);
        }
        ranges[range_count++] = r;
    }
    fclose(plan);
    return ok;
}

/* Creates every missing folder along path's parent. */
static void make_parents(char *path) {
    for (char *slash = strchr(path + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        if (mkdir(path, 0777) != 0 && errno != EEXIST) fprintf(stderr, "native_unpack: mkdir %s failed\n", path);
        *slash = '/';
    }
}

static int open_target(const char *name) {
    char path[PATH_MAX * 2];
    snprintf(path, sizeof path, "%s/%s", out_folder, name);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 && errno == ENOENT) {
        make_parents(path);
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    }
    return fd;
}

static int write_all(int fd, const unsigned char *data, size_t count) {
    while (count > 0) {
        ssize_t n = write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        data += n;
        count -= (size_t)n;
    }
    return 1;
}

/* Feeds one piece of the current entry's member to zlib and writes what comes out.
 * *ended is set when the member's gzip stream has ended. */
static int inflate_piece(z_stream *z, const unsigned char *in, size_t count, int fd, struct md5_ctx *md5,
                         int *ended) {
    static __thread unsigned char out[256 * 1024];
    z->next_in = (unsigned char *)in;
    z->avail_in = (uInt)count;
    do {
        z->next_out = out;
        z->avail_out = sizeof out;
        int ret = inflate(z, Z_NO_FLUSH);
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) return 0;
        size_t produced = sizeof out - z->avail_out;
        if (md5_fsync) md5_update(md5, produced, out);
        if (!write_all(fd, out, produced)) return 0;
        if (ret == Z_STREAM_END) {
            *ended = 1;
            return z->avail_in == 0; /* nothing may follow the member inside its size */
        }
    } while (z->avail_in > 0 || z->avail_out == 0);
    return 1;
}

static int unpack_range(const struct range *r) {
    char command[PATH_MAX + 128];
    snprintf(command, sizeof command, "curl -s -f -r %llu-%llu '%s'", r->start, r->start + r->length - 1, r->url);
    FILE *body = popen(command, "r");
    if (!body) return fail("cannot start curl", command);
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        pclose(body);
        return fail("inflateInit2 failed", r->url);
    }
    static __thread unsigned char in[64 * 1024];
    size_t index = 0;
    unsigned long left = r->entries[0].size;
    int fd = open_target(r->entries[0].name);
    struct md5_ctx md5;
    md5_init(&md5);
    int ended = 0;
    int ok = fd >= 0 ? 1 : fail("cannot create", r->entries[0].name);
    size_t n;
    while (ok && (n = fread(in, 1, sizeof in, body)) > 0) {
        size_t at = 0;
        while (ok && at < n) {
            if (index == r->count) {
                ok = fail("more bytes than the range", r->url);
                break;
            }
            size_t take = n - at < left ? n - at : left;
            if (ended) {
                ok = fail("bytes after the end of the gzip member", r->entries[index].name);
                break;
            }
            ok = inflate_piece(&z, in + at, take, fd, &md5, &ended);
            if (!ok) fail("inflate failed", r->entries[index].name);
            at += take;
            left -= take;
            if (ok && left == 0) {
                if (!ended) ok = fail("the gzip member is cut short", r->entries[index].name);
                if (md5_fsync) {
                    uint8_t digest[MD5_DIGEST_SIZE];
                    md5_digest(&md5, sizeof digest, digest); /* and starts the next file's */
                    if (fsync(fd) != 0) ok = fail("fsync failed", r->entries[index].name);
                }
                if (close(fd) != 0) ok = fail("close failed", r->entries[index].name);
                fd = -1;
                if (++index < r->count && ok) {
                    inflateReset(&z);
                    ended = 0;
                    left = r->entries[index].size;
                    fd = open_target(r->entries[index].name);
                    if (fd < 0) ok = fail("cannot create", r->entries[index].name);
                }
            }
        }
    }
    if (fd >= 0) close(fd);
    inflateEnd(&z);
    int status = pclose(body);
    if (ok && status != 0) ok = fail("curl failed", command);
    if (ok && index != r->count) ok = fail("the range ended early", r->url);
    return ok;
}

static void *worker(void *result) {
    for (;;) {
        pthread_mutex_lock(&next_lock);
        size_t mine = next_range < range_count ? next_range++ : range_count;
        pthread_mutex_unlock(&next_lock);
        if (mine == range_count) break;
        if (!unpack_range(&ranges[mine])) {
            *(int *)result = 0;
            break;
        }
    }
    return NULL;
}

int main(int argc, char **argv) {
    md5_fsync = argc == 4 && strcmp(argv[3], "--md5-fsync") == 0;
    if (argc != 3 && !md5_fsync) {
        fprintf(stderr, "usage: native_unpack PLAN_FILE OUT_FOLDER [--md5-fsync]\n");
        return 2;
    }
    out_folder = argv[2];
    if (mkdir(out_folder, 0777) != 0 && errno != EEXIST) return fail("cannot create", out_folder) + 1;
    if (!read_plan(argv[1]) || range_count == 0) return 1;

    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pthread_t threads[WORKERS];
    int results[WORKERS];
    int started = 0;
    int ok = 1;
    for (; started < WORKERS; ++started) {
        results[started] = 1;
        if (pthread_create(&threads[started], NULL, worker, &results[started]) != 0) {
            ok = fail("cannot start a thread", "pthread_create");
            break;
        }
    }
    for (int i = 0; i < started; ++i) {
        pthread_join(threads[i], NULL);
        ok = ok && results[i];
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!ok) return 1;
    printf("%.3f\n", (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9);
    return 0;
}
