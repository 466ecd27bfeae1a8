// The socket header first: the others build on its types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <windows.h>

#include <vector>

#include "platform/ListeningSockets.h"
#include "platform/win32/Utf16.h"

namespace platform {

// ParseOwnerPidTable reads the rows by these sizes.
static_assert(sizeof(MIB_TCPROW_OWNER_PID) == 24);
static_assert(sizeof(MIB_TCP6ROW_OWNER_PID) == 56);
static_assert(sizeof(MIB_UDPROW_OWNER_PID) == 12);
static_assert(sizeof(MIB_UDP6ROW_OWNER_PID) == 28);

namespace {

// The call says how much room it needs; the table may grow in between.
bool ReadTable(bool udp, bool ipv6, std::vector<OpenSocket>* into) {
    const ULONG family = ipv6 ? AF_INET6 : AF_INET;
    std::vector<std::uint8_t> buffer(16384);
    DWORD rc = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4 && rc == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        rc = udp ? GetExtendedUdpTable(buffer.data(), &size, FALSE, family, UDP_TABLE_OWNER_PID, 0)
                 : GetExtendedTcpTable(buffer.data(), &size, FALSE, family,
                                       TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (rc == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(size + 4096);
        } else if (rc == NO_ERROR) {
            buffer.resize(size);
        }
    }
    if (rc != NO_ERROR) {
        return false;
    }
    for (const OpenSocket& s : ParseOwnerPidTable(buffer.data(), buffer.size(), udp, ipv6)) {
        into->push_back(s);
    }
    return true;
}

}  // namespace

// Windows cannot tell a dual-stack [::] socket from an IPv6-only one either;
// servers that bind [::] on Windows mostly do so to take both.
SocketTables ListeningSockets() {
    SocketTables tables;
    for (const bool udp : {false, true}) {
        for (const bool ipv6 : {false, true}) {
            tables.read = ReadTable(udp, ipv6, &tables.sockets) || tables.read;
        }
    }
    return tables;
}

SocketOwners::SocketOwners(const std::vector<OpenSocket>&) {}

void SocketOwners::Walk() {
    walked_ = true;
}

// The table names the process; its image is asked for once per process.
SocketOwner SocketOwners::Of(const OpenSocket& socket) {
    if (socket.pid == 0) {
        return {};
    }
    SocketOwner& owner = owners_[socket.pid];
    if (owner.pid != 0) {
        return owner;
    }
    owner.pid = socket.pid;
    if (socket.pid == 4) {
        owner.name = "System";  // the kernel: http.sys, SMB
        return owner;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, socket.pid);
    if (process != nullptr) {
        wchar_t path[MAX_PATH * 4];
        DWORD length = static_cast<DWORD>(sizeof path / sizeof path[0]);
        if (QueryFullProcessImageNameW(process, 0, path, &length)) {
            owner.path = Narrow(path, length);
            const std::size_t slash = owner.path.find_last_of("\\/");
            owner.name = slash == std::string::npos ? owner.path : owner.path.substr(slash + 1);
        }
        CloseHandle(process);
    }
    return owner;
}

}  // namespace platform
