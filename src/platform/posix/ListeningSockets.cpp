#include "platform/ListeningSockets.h"

#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Files.h"

namespace platform {

namespace {

// TCP listeners from the kernel's socket diagnostics: asked for LISTEN
// only, the kernel walks just its listening hash. /proc/net/tcp walks the
// whole established-connection table whatever the namespace holds (262144
// buckets here: 10 to 40 ms a read, the most of a one-rule run). False when
// the kernel does not answer (no inet_diag), so that /proc is read instead.
bool ReadTcpListeners(int family, std::vector<OpenSocket>* into) {
    const int s = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (s < 0) {
        return false;
    }
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } ask{};
    ask.header.nlmsg_len = sizeof ask;
    ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    ask.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    ask.request.sdiag_family = static_cast<std::uint8_t>(family);
    ask.request.sdiag_protocol = IPPROTO_TCP;
    ask.request.idiag_states = 1u << 10;  // TCP_LISTEN
    bool done = send(s, &ask, sizeof ask, 0) == static_cast<ssize_t>(sizeof ask);
    bool ended = false;
    alignas(nlmsghdr) char buffer[16384];
    while (done && !ended) {
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) {
            done = false;
            break;
        }
        int left = static_cast<int>(n);
        // NLMSG_OK, spelt out: the macro compares the signed length with
        // the unsigned nlmsg_len, which clang refuses.
        const auto whole = [&left](const nlmsghdr* h) {
            return left >= static_cast<int>(sizeof(nlmsghdr)) && h->nlmsg_len >= sizeof(nlmsghdr) &&
                   h->nlmsg_len <= static_cast<unsigned>(left);
        };
        for (const nlmsghdr* h = reinterpret_cast<const nlmsghdr*>(buffer); whole(h);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                ended = true;
                done = h->nlmsg_type == NLMSG_DONE;
                break;
            }
            if (h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                continue;
            }
            const auto* m = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
            OpenSocket o;
            o.ipv6 = family == AF_INET6;
            if (o.ipv6) {
                std::memcpy(o.address.data(), m->id.idiag_src, 16);
            } else {
                o.address[10] = o.address[11] = 0xFF;
                std::memcpy(o.address.data() + 12, m->id.idiag_src, 4);
            }
            o.port = ntohs(m->id.idiag_sport);
            o.inode = m->idiag_inode;
            if (o.port != 0) {
                into->push_back(o);
            }
        }
    }
    close(s);
    return done;
}

}  // namespace

// Both are the calling thread's network namespace: the sockets that
// packets forwarded to this machine would meet.
SocketTables ListeningSockets() {
    SocketTables tables;
    struct Table {
        const char* path;
        bool udp, ipv6;
    };
    for (const Table& t :
         {Table{"/proc/net/tcp", false, false}, Table{"/proc/net/tcp6", false, true},
          Table{"/proc/net/udp", true, false}, Table{"/proc/net/udp6", true, true}}) {
        if (!t.udp && ReadTcpListeners(t.ipv6 ? AF_INET6 : AF_INET, &tables.sockets)) {
            tables.read = true;
            continue;
        }
        std::string text;
        if (ReadWholeFile(t.path, &text) != ReadResult::kOk) {
            continue;  // no IPv6 in this kernel, say
        }
        tables.read = true;
        for (const OpenSocket& s : ParseProcNetSockets(text, t.udp, t.ipv6)) {
            tables.sockets.push_back(s);
        }
    }
    std::string v6only;
    if (ReadWholeFile("/proc/sys/net/ipv6/bindv6only", &v6only) == ReadResult::kOk) {
        tables.ipv6WildcardTakesIpv4 = v6only.empty() || v6only[0] == '0';
    }
    return tables;
}

SocketOwners::SocketOwners(const std::vector<OpenSocket>& sockets) {
    for (const OpenSocket& s : sockets) {
        wanted_.insert(s.inode);
    }
}

namespace {

bool IsNumber(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

// Every process's descriptors this user may read; another user's stay
// closed (their sockets keep pid 0). One pass, whatever is asked later.
void SocketOwners::Walk() {
    walked_ = true;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return;
    }
    while (const dirent* p = readdir(proc)) {
        if (!IsNumber(p->d_name) || pidOfInode_.size() == wanted_.size()) {
            continue;
        }
        const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) {
            continue;
        }
        while (const dirent* f = readdir(fds)) {
            char link[64];
            const std::string path = fdDir + "/" + f->d_name;
            const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
            if (n <= 0) {
                continue;
            }
            link[n] = '\0';
            unsigned long long inode = 0;
            char end = 0;
            if (std::sscanf(link, "socket:[%llu%c", &inode, &end) == 2 && end == ']' &&
                wanted_.count(inode) != 0) {
                pidOfInode_.emplace(inode, static_cast<std::uint32_t>(std::atoi(p->d_name)));
            }
        }
        closedir(fds);
    }
    closedir(proc);
}

SocketOwner SocketOwners::Of(const OpenSocket& socket) {
    if (!walked_) {
        Walk();
    }
    const auto found = pidOfInode_.find(socket.inode);
    if (found == pidOfInode_.end()) {
        return {};
    }
    auto& owner = owners_[found->second];
    if (owner.pid == 0) {
        owner.pid = found->second;
        std::string comm;
        if (ReadWholeFile("/proc/" + std::to_string(owner.pid) + "/comm", &comm) ==
            ReadResult::kOk) {
            while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r')) {
                comm.pop_back();
            }
            owner.name = comm;
        }
    }
    return owner;
}

}  // namespace platform
