/* The cheapest rewrite of a folder's files that puts a line in front: for each regular file
 * whose name ends in ".txt", read it, write the line, CR LF and the old content to a new file
 * beside it and rename that over the old one. Nothing is flushed; nothing is checked beyond
 * what the calls report. The reference the head run is measured against.
 * Usage: floor FOLDER LINE */
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

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: floor FOLDER LINE\n");
        return 2;
    }
    DIR *d = opendir(argv[1]);
    if (!d) {
        perror(argv[1]);
        return 2;
    }
    size_t lineLength = strlen(argv[2]), capacity = 0;
    char *buf = NULL;
    int failures = 0;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        size_t n = strlen(e->d_name);
        if (e->d_name[0] == '.' || n < 4 || strcmp(e->d_name + n - 4, ".txt") != 0)
            continue;
        if (rewrite(dirfd(d), e->d_name, argv[2], lineLength, &buf, &capacity) != 0) {
            perror(e->d_name);
            ++failures;
        }
    }
    closedir(d);
    free(buf);
    return failures ? 1 : 0;
}
