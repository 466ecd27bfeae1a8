// Support for tests that run on the LAN host of a router lab (scripts/with-lab.sh).
//
// The test binary itself runs inside the lab's LAN namespace; these helpers reach
// the router namespace through `ip netns exec`.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>
#include <string>
#include <vector>

namespace lab {

// The facts with-lab.sh exports as PONTARO_LAB_*.
struct LabEnv {
    std::string name;
    std::string lanNs;
    std::string routerNs;
    std::string wanNs;
    std::string routerIp;
    std::string hostIp;
    std::string extIp;     // the external address miniupnpd reports
    std::string igd;       // "v1" or "v2"; meaningful only with miniupnpd
    std::string scripts;   // absolute path of scripts/
    std::string stateDir;  // the lab's temp dir (config, logs)
    int httpPort = 0;      // miniupnpd's HTTP port; 0 when the lab runs without it
    bool natPmp = false;   // miniupnpd serves NAT-PMP and PCP on port 5351
};

// The current lab, or nullptr when the binary does not run inside one.
const LabEnv* CurrentLab();

// True when the lab runs miniupnpd on the router (with UPnP on).
bool LabHasDaemon();

struct CommandResult {
    int exitCode = -1;   // the shell's exit status, -1 when it did not run or was killed
    std::string output;  // stdout and stderr together
};

// Runs a /bin/sh command line on this host (the LAN namespace) / on the router.
CommandResult RunHere(const std::string& shellCommand);
CommandResult RunInRouter(const std::string& shellCommand);

// Quotes a word for /bin/sh.
std::string ShellQuote(const std::string& word);

// The router's port forwards as `lab.sh mappings` prints them:
// "TCP 8080 10.77.0.2:8080".
std::vector<std::string> RouterMappings();

// proto is "TCP" or "UDP" (any letter case).
bool RouterHasMapping(const std::string& proto, int externalPort, const std::string& internalIp,
                      int internalPort);

// A helper process (a scripted responder, say) running in the router namespace.
// Its stdout and stderr go to a file in the lab's state directory. Stopped (TERM,
// then KILL) by Stop() or the destructor.
class RouterProcess {
public:
    RouterProcess() = default;
    ~RouterProcess();
    RouterProcess(const RouterProcess&) = delete;
    RouterProcess& operator=(const RouterProcess&) = delete;

    // argv[0] is looked up in PATH. False when the process could not be started.
    bool Start(const std::vector<std::string>& argv);
    // Waits until the output contains text (a "ready" line, say); false on time-out
    // or when the process ended first.
    bool WaitForOutput(const std::string& text, int timeoutMs);
    bool Running();
    // Returns the exit status (-1 when killed by a signal or never started).
    int Stop();
    std::string Output() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string logPath_;
};

}  // namespace lab

// Skip the current test unless it runs inside a lab (with miniupnpd for the second).
#define PONTARO_REQUIRE_LAB()                                                    \
    do {                                                                         \
        if (::lab::CurrentLab() == nullptr)                                      \
            GTEST_SKIP() << "not inside a router lab (run through with-lab.sh)"; \
    } while (0)

#define PONTARO_REQUIRE_LAB_NATPMP()                                            \
    do {                                                                        \
        PONTARO_REQUIRE_LAB();                                                  \
        if (!::lab::CurrentLab()->natPmp)                                       \
            GTEST_SKIP() << "the lab's miniupnpd serves no NAT-PMP and no PCP"; \
    } while (0)

#define PONTARO_REQUIRE_LAB_DAEMON()                          \
    do {                                                      \
        PONTARO_REQUIRE_LAB();                                \
        if (!::lab::LabHasDaemon())                           \
            GTEST_SKIP() << "the lab runs without miniupnpd"; \
    } while (0)
