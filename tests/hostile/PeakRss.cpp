// pontaro_peak_rss FILE CMD [ARG...]: runs CMD and writes its peak resident
// set size (KiB) to FILE; exits as CMD did.
//
// A child forked from a large process (the Python test driver) starts with
// that process's pages counted, and the kernel keeps the count across exec,
// so the driver cannot measure the program itself. This small launcher, run
// in between, forks from a small image of its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: pontaro_peak_rss FILE CMD [ARG...]\n");
        return 64;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 70;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        std::perror("wait4");
        return 70;
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%ld\n", usage.ru_maxrss);
        std::fclose(out);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}
