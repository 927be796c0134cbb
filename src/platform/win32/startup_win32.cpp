// Process-wide services on Windows: OLE for hosting ActiveX controls and Windows Sockets 2.2.
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>

#include "platform/startup.h"

namespace platform {

void EnableControlContainer() {
    ::OleInitialize(nullptr);
}

void StartSocketLibrary() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
}

void StopSocketLibrary() {
    ::WSACleanup();
}

}  // namespace platform
