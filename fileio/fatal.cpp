#include "fileio/fatal.h"

#include <cstdarg>
#include <cstdio>

#include "fileio/file.h"
#include "platform/error.h"
#include "platform/notice.h"
#include "platform/process.h"

thread_local constinit BlockSlot BlockTable[kBlockSlots] = {};
thread_local constinit FatalEndFn FatalEndHook = nullptr;
thread_local constinit FatalDivertFn FatalDivert = nullptr;
thread_local constinit bool HostCall = false;
const char *FatalPrefix = nullptr;
int (*FatalUndo)() = nullptr;
const char *FatalUndoneText = "Nothing was changed: the installation is as it was.";
int FatalUndoneStatus = 0;

namespace {
thread_local constinit std::uint32_t t_serial = 0;
thread_local constinit std::int32_t t_fileCode = 0; // set by FileError for the text it passes on
} // namespace

std::uint32_t ResourceMark() { return t_serial; }
std::uint32_t ResourceNext() { return ++t_serial; }

void FatalFileCode(std::int32_t code) { t_fileCode = code; }

void FatalMessage(const char *format, ...) {
  char text[kFatalTextSize];
  va_list args;
  va_start(args, format);
  // vsnprintf cuts an over-long text to the buffer, never writing past it.
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  const std::int32_t fileCode = t_fileCode;
  t_fileCode = 0;
  // What the failed step changed goes back first (files closed, so that
  // they can be moved), and the notice says whether it did.
  const char *undone = "";
  int status = 0;
  if (int (*undo)() = FatalUndo) {
    FatalUndo = nullptr;
    RegistryCloseAll();
    const int result = undo();
    if (result == kUndoDone) {
      undone = FatalUndoneText;
      status = FatalUndoneStatus;
    } else if (result == kUndoFailed) {
      undone = "The installation could not be put back as it was; the next run tries again.";
    }
  }
  if (FatalDivert) FatalDivert(text, fileCode);
  char shown[kFatalTextSize + 512];
  std::snprintf(shown, sizeof shown, "%s%s%s%s%s", FatalPrefix ? FatalPrefix : "", FatalPrefix ? "\n" : "", text,
                undone[0] ? "\n" : "", undone);
  const int button = PlatNotice(shown, "Einde programma", PlatIcon::Error);
  RegistryCloseAll();
  if (FatalEndHook) FatalEndHook(text);
  // 2 after OK; 1 when the notice could not be shown (whatever the failure);
  // an undone install's own status where the caller asked for one.
  PlatExit(status != 0 ? status : button > 0 ? button + 1 : 1);
}

void InternalError(const char *module, std::int32_t line, std::int32_t code) {
  if (code < 0) FatalMessage("Internal error\nFile: %s\nLine: %d", module, line);
  FatalMessage("Internal error [%d] in [%s,%d]", code, module, line);
}

void *BlockAlloc(std::int32_t size, const char * /*purpose*/) {
  if (size < 0) InternalError("UPDATER", 1236, 123);
  if (size < 1) size += 1;
  if (size % 2 != 0) size += 1;
  PlatBlock handle = PlatBlockAllocate(static_cast<std::uint32_t>(size));
  if (!handle) FatalMessage("\nError 123: %d, %s", size, PlatLastErrorText());
  void *pointer = PlatBlockLock(handle);
  if (!pointer) InternalError("UPDATER", 1261, 124);
  for (BlockSlot &slot : BlockTable) {
    if (slot.handle == nullptr) {
      slot = BlockSlot{handle, pointer, size, ResourceNext()};
      return pointer;
    }
  }
  InternalError("UPDATER", 1272, 125);
}

void BlockFree(void *pointer, const char * /*purpose*/) {
  for (BlockSlot &slot : BlockTable) {
    if (slot.pointer == pointer && slot.handle != nullptr) {
      PlatBlockUnlock(slot.handle);
      PlatBlockRelease(slot.handle);
      slot = BlockSlot{nullptr, nullptr, 0, 0};
      return;
    }
  }
}

void BlockReleaseSince(std::uint32_t mark) {
  for (BlockSlot &slot : BlockTable) {
    if (slot.handle != nullptr && slot.serial > mark) BlockFree(slot.pointer, "release");
  }
}
