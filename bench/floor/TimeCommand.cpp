// Wall time of one command, from just before fork to its exit, in
// microseconds: the same measure for every client the benchmark compares.
//
//   bench_time_command OUTFILE CMD ARGS...
//
// Appends "<microseconds> <exit code>" to OUTFILE; the command's own output
// goes where this program's goes. Exit code: the command's.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_time_command OUTFILE CMD ARGS...\n");
        return 64;
    }
    timespec t0{};
    timespec t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 70;
    }
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    const long long us = (t1.tv_sec - t0.tv_sec) * 1000000LL + (t1.tv_nsec - t0.tv_nsec) / 1000;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE* out = std::fopen(argv[1], "a");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 70;
    }
    std::fprintf(out, "%lld %d\n", us, code);
    std::fclose(out);
    return code;
}
