// Facts about the running process, and its end.
#pragma once

#include <cstdint>

// Ends the process with the given status; exit handlers run.
[[noreturn]] void PlatExit(int status);
// A number that tells this process from others running now.
std::uint32_t PlatProcessId();
// True when standard error is a terminal that a person watches.
bool PlatErrorIsTerminal();
// True when standard input is a terminal.
bool PlatInputIsTerminal();
// Standard input and output carry bytes as they are (no line-end changes).
void PlatBinaryStdio();
// A write to a pipe nobody reads any more fails (and is reported by the
// caller) instead of ending the process by a signal.
void PlatIgnoreBrokenPipe();

// Names to remove when the process ends before it is done with them: when it
// is ended by an interrupt, terminate or hang-up signal, and for AnyEnd also
// when it exits (a fatal end included). Returns a slot for PlatForgetLater,
// or -1 when the fixed table is full (the name is then not removed).
enum class PlatRemoveWhen { Signal, AnyEnd };
int PlatRemoveLater(const char *name, PlatRemoveWhen when);
void PlatForgetLater(int slot);
// While held, an interrupt, terminate or hang-up signal waits (for this
// thread) and takes effect when released: a step that must not be cut in
// two, such as the swaps of an install, runs whole.
void PlatHoldSignals(bool hold);
