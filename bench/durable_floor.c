/* The cheapest durable head, the reference for a disk that other programs keep busy (where one
 * flush of the whole file system would write their data too): for each file whose name ends in
 * ".txt", in batches of 256, it writes the line, CR LF and the old content to a new file, flushes
 * the batch's new files on 8 threads side by side, renames each over its old file and flushes the
 * folder. Nothing is checked beyond what the calls report; the folder holds at most 65,536 files.
 * Usage: durable_floor FOLDER LINE */
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kBatch = 256, kThreads = 8, kMostFiles = 65536 };

static int g_new[kBatch];
static int g_count;
static atomic_int g_next, g_failures;

static void* flushSome(void* unused) {
    (void)unused;
    for (int i; (i = atomic_fetch_add(&g_next, 1)) < g_count;)
        if (fdatasync(g_new[i]) != 0)
            atomic_fetch_add(&g_failures, 1);
    return NULL;
}

/* The new content of name under temp, open in g_new; -1 on failure. */
static int writeNew(int dir, const char* name, const char* temp, const char* line, char* buf, size_t room) {
    size_t lineLength = strlen(line);
    int in = openat(dir, name, O_RDONLY | O_NOFOLLOW);
    if (in < 0)
        return -1;
    memcpy(buf, line, lineLength);
    memcpy(buf + lineLength, "\r\n", 2);
    ssize_t got = read(in, buf + lineLength + 2, room - lineLength - 2);
    close(in);
    int out = got < 0 ? -1 : openat(dir, temp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0 &&
        write(out, buf, lineLength + 2 + (size_t)got) != (ssize_t)(lineLength + 2 + (size_t)got)) {
        close(out);
        return -1;
    }
    return out;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: durable_floor FOLDER LINE\n");
        return 2;
    }
    int dir = open(argv[1], O_RDONLY | O_DIRECTORY);
    DIR* d = dir < 0 ? NULL : fdopendir(dup(dir));
    if (!d) {
        perror(argv[1]);
        return 2;
    }
    static char* names[kMostFiles];
    int files = 0;
    for (struct dirent* e; (e = readdir(d)) != NULL && files < kMostFiles;) {
        size_t n = strlen(e->d_name);
        if (e->d_name[0] != '.' && n >= 4 && strcmp(e->d_name + n - 4, ".txt") == 0)
            names[files++] = strdup(e->d_name);
    }
    closedir(d);
    static char buf[1 << 20];
    static char temps[kBatch][32];
    for (int start = 0; start < files; start += kBatch) {
        g_count = 0;
        for (int i = start; i < files && i < start + kBatch; ++i) {
            snprintf(temps[g_count], sizeof temps[0], ".durable-%d.tmp", i);
            if ((g_new[g_count] = writeNew(dir, names[i], temps[g_count], argv[2], buf, sizeof buf)) < 0) {
                perror(names[i]);
                return 1;
            }
            ++g_count;
        }
        atomic_store(&g_next, 0);
        pthread_t threads[kThreads];
        for (int t = 0; t < kThreads; ++t)
            pthread_create(&threads[t], NULL, flushSome, NULL);
        for (int t = 0; t < kThreads; ++t)
            pthread_join(threads[t], NULL);
        for (int i = 0; i < g_count; ++i) {
            if (renameat(dir, temps[i], dir, names[start + i]) != 0)
                atomic_fetch_add(&g_failures, 1);
            close(g_new[i]);
        }
        if (fsync(dir) != 0)
            atomic_fetch_add(&g_failures, 1);
    }
    return atomic_load(&g_failures) ? 1 : 0;
}
