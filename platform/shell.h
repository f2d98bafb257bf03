// The shell's program-manager command language ("[CreateGroup(...)]",
// "[ReplaceItem(...)]", "[AddItem(...)]"): one command per connection.
#pragma once

// Prepares the client; false when the shell cannot be reached at all.
bool PlatShellStart();
// Connects, hands over one command, disconnects. True when it was accepted.
bool PlatShellCommand(const char *command);
