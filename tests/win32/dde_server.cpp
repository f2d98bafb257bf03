// A program manager of our own for the tests: answers DDE service and topic
// "PROGMAN", appends every executed command to LOG (one line each) and
// accepts it, except commands that begin with REFUSE, which it refuses.
//
//   dde_server LOG [REFUSE]
//
// Writes "ready" to standard output once it answers; runs until killed, or
// for two minutes at most.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr;
const char *g_log = nullptr;
std::string g_refuse;

HDDEDATA CALLBACK Serve(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
  switch (type) {
  case XTYP_CONNECT:
    return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DdeCmpStringHandles(topic, g_service) == 0));
  case XTYP_EXECUTE: {
    char command[1024] = {};
    DdeGetData(data, reinterpret_cast<BYTE *>(command), sizeof command - 1, 0);
    const bool refused = !g_refuse.empty() && std::strncmp(command, g_refuse.c_str(), g_refuse.size()) == 0;
    if (FILE *log = std::fopen(g_log, "ab")) {
      std::fprintf(log, "%s%s\n", command, refused ? " -> refused" : "");
      std::fclose(log);
    }
    return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(refused ? DDE_FNOTPROCESSED : DDE_FACK));
  }
  default:
    return nullptr;
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dde_server LOG [REFUSE]\n");
    return 64;
  }
  g_log = argv[1];
  if (argc > 2) g_refuse = argv[2];
  if (DdeInitializeA(&g_instance, Serve, APPCLASS_STANDARD | CBF_SKIP_ALLNOTIFICATIONS, 0) != DMLERR_NO_ERROR)
    return 1;
  g_service = DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
  if (DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER) == nullptr) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  SetTimer(nullptr, 0, 120000, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER) break;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  DdeNameService(g_instance, g_service, nullptr, DNS_UNREGISTER);
  DdeFreeStringHandle(g_instance, g_service);
  DdeUninitialize(g_instance);
  return 0;
}
