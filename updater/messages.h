// The language-dependent texts of the updater, by number (4 to 22).
#pragma once

#include <cstdint>

// The catalogue's ids.
enum MessageId : std::int32_t {
  kMsgInfoCaption = 4,     // the information box's caption
  kMsgTitle = 5,           // the dialog's title
  kMsgInfoLine1 = 6,       // the three lines of the information box
  kMsgInfoLine2 = 7,
  kMsgInfoLine3 = 8,
  kMsgCopyright = 9,
  kMsgTeamCaption = 10,    // the credits box's caption
  kMsgInstall = 11,        // the install button
  kMsgCancel = 12,         // the cancel button
  kMsgDone = 13,           // the closing message
  kMsgDoneCaption = 14,
  kMsgMail = 15,           // the contact lines
  kMsgWeb = 16,
  kMsgNotFound = 17,       // no installation, main line
  kMsgEndCaption = 18,     // the caption of the refusals
  kMsgOtherNotFound = 19,  // no installation, other line
  kMsgRunning = 20,        // the product is running, main line
  kMsgOtherRunning = 21,   // other software of the line is running
  kMsgTooOld = 22,         // installed version below 2
};

// Never null; "Unknown" outside 4 to 22. Reads the configuration at each call.
const char *MessageText(std::int32_t id);
// The line before the fatal text of an update that fails its verification:
// nothing was installed.
const char *DamagedUpdateText();
// The line after the fatal text of an install that failed and was undone.
const char *UndoneText();
// The question when a file to be replaced is held open: the file's name
// (%s), then, when the system can tell, the programs holding it (%s).
const char *FileInUseFormat(bool holderKnown);
