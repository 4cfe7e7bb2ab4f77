/* Runs a program once, its standard output and error to /dev/null, and prints
 * "wall-seconds cpu-seconds peak-KiB": the wall time from just before the fork to the end of the
 * wait, the program's user plus system time, and its peak resident size. Unlike date and
 * /usr/bin/time around it, it adds nothing but the one fork and exec to what it measures.
 * Exits 0 whatever the program's status.
 * Usage: measure PROGRAM [ARG...] */
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double seconds(struct timeval tv) { return (double)tv.tv_sec + (double)tv.tv_usec / 1e6; }

int main(int argc, char **argv) {
    if (argc < 2) {
        fputs("usage: measure PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
        perror("/dev/null");
        return 2;
    }
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 2;
    }
    if (pid == 0) {
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) {
        perror("wait4");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    const double wall = (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9;
    printf("%.6f %.6f %ld\n", wall, seconds(ru.ru_utime) + seconds(ru.ru_stime), ru.ru_maxrss);
    return 0;
}
