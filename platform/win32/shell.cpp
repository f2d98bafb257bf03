// The program-manager commands over DDE: a client-only instance, one
// conversation with service and topic "PROGMAN" per command.
#include "platform/shell.h"

#include <windows.h>
#include <ddeml.h>

#include <cstring>

namespace {

DWORD g_instance = 0; // the DDE client instance; it lives until the process ends

HDDEDATA CALLBACK IgnoreTransactions(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

} // namespace

bool PlatShellStart() { return DdeInitializeA(&g_instance, IgnoreTransactions, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR; }

bool PlatShellCommand(const char *command) {
  const HSZ service = DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
  bool accepted = false;
  const HCONV conversation = DdeConnect(g_instance, service, service, nullptr);
  if (conversation != nullptr) {
    const DWORD length = static_cast<DWORD>(std::strlen(command) + 1);
    DWORD result = 0;
    accepted = DdeClientTransaction(reinterpret_cast<BYTE *>(const_cast<char *>(command)), length, conversation,
                                    nullptr, CF_TEXT, XTYP_EXECUTE, 1000, &result) != nullptr;
    DdeDisconnect(conversation);
  }
  DdeFreeStringHandle(g_instance, service);
  return accepted;
}
