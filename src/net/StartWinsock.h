#pragma once

// Starts the socket library once per process (WinSock 1.1 on Windows) and
// never cleans it up. 0 when started now or earlier; -1 when it cannot be
// started, in which case the next call tries again.
int StartWinsock();
