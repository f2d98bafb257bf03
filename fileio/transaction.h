// An install as one step: every file new or every file old, however it ends.
//
// While a transaction is open, a replacement (fileio/replace.h) is staged
// complete and flushed beside its target but not put in place, a delete is
// only noted, and the directories made are noted. The journal "lzx.jnl" in
// the installation directory lists all of it as it happens. The commit then
// puts every staged file in place in list order, keeping each replaced or
// deleted file under a backup name; after the last one (the version file)
// the journal says "done" and the backups go. A failure anywhere before that
// puts everything back; a run killed anywhere leaves the journal, from which
// the next run (JournalRecover) completes the install or undoes it.
//
// Journal lines, names percent-escaped, relative to the installation
// directory where they lie below it:
//   lzx journal 1
//   dir NAME                 a directory this install made
//   swap STAGED TARGET BACKUP
//   delete TARGET BACKUP
//   commit                   everything is staged; the swaps begin
//   done                     every swap is made; only the backups remain
#pragma once

#include <cstdint>

// Opens the journal of an install into directory (after JournalRecover).
void TransactionBegin(const char *directory);
bool TransactionActive();
// The staged file at staging, complete and closed, is to take target's place.
void TransactionAddSwap(const char *staging, const char *target);
// target is to be removed (if it exists then).
void TransactionAddDelete(const char *target);
// Makes every change and ends the transaction. A failure undoes them all,
// then ends through the fatal path naming the file and the reason.
void TransactionCommit();
// Asked when a file to be replaced or deleted stays held open by another
// program after the system's few tries: true to try again. Unset (a run
// without a person, the tool), the install fails and is undone.
using TransactionFileInUseFn = bool (*)(const char *target);
extern thread_local TransactionFileInUseFn TransactionFileInUse;
// Undoes whatever the open transaction changed (a fatal end before or during
// the commit), leaving the installation as it was: kUndoNothing when nothing
// had been staged yet, kUndoDone, or kUndoFailed (fileio/fatal.h).
int TransactionUndo();

// What JournalRecover found in a directory.
enum class JournalState { None, Completed, Undone, Failed };
// Completes (after "done") or undoes (before it) the install a journal in
// directory describes, and removes the journal. The caller holds the
// installation (no install may be running in it).
JournalState JournalRecover(const char *directory);
// True when directory holds a journal: an install that was interrupted.
bool JournalPending(const char *directory);
// The journal's file name in directory, into 260 characters.
void JournalName(const char *directory, char *name);
