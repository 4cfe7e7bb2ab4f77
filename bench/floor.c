/* The cheapest change of a folder's files, the reference the runs are measured against: for
 * each file whose name ends in ".txt", head reads it, writes the line, CR LF and the old content
 * to a new file beside it and renames that over the old one; foot appends the line and CR LF.
 * Nothing is flushed; nothing is checked beyond what the calls report.
 * Usage: floor head|foot FOLDER LINE */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int rewrite(int dir, const char *name, const char *line, size_t lineLength, char **buf,
                   size_t *capacity) {
    int in = openat(dir, name, O_RDONLY | O_NOFOLLOW);
    if (in < 0)
        return -1;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return -1;
    }
    size_t need = lineLength + 2 + (size_t)st.st_size;
    if (need > *capacity) {
        *capacity = need * 2;
        *buf = realloc(*buf, *capacity);
    }
    memcpy(*buf, line, lineLength);
    memcpy(*buf + lineLength, "\r\n", 2);
    ssize_t got = read(in, *buf + lineLength + 2, (size_t)st.st_size);
    close(in);
    if (got != st.st_size)
        return -1;
    int out = openat(dir, ".floor.tmp", O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 07777);
    if (out < 0)
        return -1;
    ssize_t put = write(out, *buf, need);
    close(out);
    if (put != (ssize_t)need)
        return -1;
    return renameat(dir, ".floor.tmp", dir, name);
}

static int append(int dir, const char *name, const char *line, size_t lineLength, char **buf,
                  size_t *capacity) {
    if (*capacity < lineLength + 2) {
        *capacity = lineLength + 2;
        *buf = realloc(*buf, *capacity);
        memcpy(*buf, line, lineLength);
        memcpy(*buf + lineLength, "\r\n", 2);
    }
    int out = openat(dir, name, O_WRONLY | O_APPEND | O_NOFOLLOW);
    if (out < 0)
        return -1;
    ssize_t put = write(out, *buf, lineLength + 2);
    close(out);
    return put == (ssize_t)(lineLength + 2) ? 0 : -1;
}

int main(int argc, char **argv) {
    if (argc != 4 || (strcmp(argv[1], "head") != 0 && strcmp(argv[1], "foot") != 0)) {
        fprintf(stderr, "usage: floor head|foot FOLDER LINE\n");
        return 2;
    }
    int (*change)(int, const char *, const char *, size_t, char **, size_t *) =
        strcmp(argv[1], "head") == 0 ? rewrite : append;
    DIR *d = opendir(argv[2]);
    if (!d) {
        perror(argv[2]);
        return 2;
    }
    const char *line = argv[3];
    size_t lineLength = strlen(line), capacity = 0;
    char *buf = NULL;
    int failures = 0;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        size_t n = strlen(e->d_name);
        if (e->d_name[0] == '.' || n < 4 || strcmp(e->d_name + n - 4, ".txt") != 0)
            continue;
        if (change(dirfd(d), e->d_name, line, lineLength, &buf, &capacity) != 0) {
            perror(e->d_name);
            ++failures;
        }
    }
    closedir(d);
    free(buf);
    return failures ? 1 : 0;
}
