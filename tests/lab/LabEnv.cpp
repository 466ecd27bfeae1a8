#include "LabEnv.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace lab {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

LabEnv* LoadLab() {
    static LabEnv env;
    env.name = Env("PONTARO_LAB_NAME");
    env.lanNs = Env("PONTARO_LAB_LAN_NS");
    env.routerNs = Env("PONTARO_LAB_ROUTER_NS");
    env.wanNs = Env("PONTARO_LAB_WAN_NS");
    env.routerIp = Env("PONTARO_LAB_ROUTER_IP");
    env.hostIp = Env("PONTARO_LAB_HOST_IP");
    env.extIp = Env("PONTARO_LAB_EXT_IP");
    env.igd = Env("PONTARO_LAB_IGD");
    env.scripts = Env("PONTARO_LAB_SCRIPTS");
    env.stateDir = Env("PONTARO_LAB_STATE_DIR");
    env.httpPort = std::atoi(Env("PONTARO_LAB_HTTP_PORT").c_str());
    env.natPmp = Env("PONTARO_LAB_NATPMP") == "yes";
    // Without the namespaces and addresses nothing here can work; a partial
    // environment is treated as no lab at all.
    if (env.name.empty() || env.routerNs.empty() || env.routerIp.empty() || env.hostIp.empty() ||
        env.scripts.empty())
        return nullptr;
    return &env;
}

int MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

const LabEnv* CurrentLab() {
    static const LabEnv* lab = LoadLab();
    return lab;
}

bool LabHasDaemon() {
    const LabEnv* env = CurrentLab();
    return env != nullptr && env->httpPort > 0;
}

std::string ShellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return quoted;
}

CommandResult RunHere(const std::string& shellCommand) {
    CommandResult result;
    std::string line = "( " + shellCommand + " ) 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

CommandResult RunInRouter(const std::string& shellCommand) {
    const LabEnv* env = CurrentLab();
    if (env == nullptr)
        return {};
    return RunHere("ip netns exec " + ShellQuote(env->routerNs) + " sh -c " +
                   ShellQuote(shellCommand));
}

std::vector<std::string> RouterMappings() {
    std::vector<std::string> lines;
    const LabEnv* env = CurrentLab();
    if (env == nullptr)
        return lines;
    CommandResult listed =
        RunHere(ShellQuote(env->scripts + "/lab.sh") + " mappings " + ShellQuote(env->name));
    if (listed.exitCode != 0)
        return lines;
    std::istringstream in(listed.output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

bool RouterHasMapping(const std::string& proto, int externalPort, const std::string& internalIp,
                      int internalPort) {
    std::string upper;
    for (char c : proto)
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const std::string wanted = upper + " " + std::to_string(externalPort) + " " + internalIp + ":" +
                               std::to_string(internalPort);
    for (const std::string& line : RouterMappings()) {
        if (line == wanted)
            return true;
    }
    return false;
}

RouterProcess::~RouterProcess() {
    Stop();
}

bool RouterProcess::Start(const std::vector<std::string>& argv) {
    const LabEnv* env = CurrentLab();
    if (env == nullptr || argv.empty() || pid_ > 0)
        return false;
    static int serial = 0;
    logPath_ = env->stateDir.empty() ? "/tmp" : env->stateDir;
    logPath_ +=
        "/router-process-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".log";

    std::vector<std::string> full = {"ip", "netns", "exec", env->routerNs};
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& word : full)
        args.push_back(word.data());
    args.push_back(nullptr);

    int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0)
        return false;
    pid_t child = fork();
    if (child < 0) {
        close(log);
        return false;
    }
    if (child == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, 0);
        dup2(log, 1);
        dup2(log, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(log);
    pid_ = child;
    status_ = -1;
    return true;
}

bool RouterProcess::Running() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
    }
    return done == 0;
}

bool RouterProcess::WaitForOutput(const std::string& text, int timeoutMs) {
    const int start = MonotonicMs();
    for (;;) {
        if (Output().find(text) != std::string::npos)
            return true;
        if (!Running())
            return Output().find(text) != std::string::npos;
        if (MonotonicMs() - start >= timeoutMs)
            return false;
        usleep(20 * 1000);
    }
}

int RouterProcess::Stop() {
    if (pid_ <= 0)
        return status_;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 2000; waited += 20) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno == ECHILD)) {
            status_ = (done == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
            return status_;
        }
        usleep(20 * 1000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    status_ = -1;
    return status_;
}

std::string RouterProcess::Output() const {
    return logPath_.empty() ? "" : ReadFile(logPath_);
}

}  // namespace lab
