// The program's entry, provided by the application: the platform's own entry
// point calls it with the program's module handle and the argument text
// (the command line after the program's name).
#pragma once

using PlatInstance = void *;

int UpdaterMain(PlatInstance instance, const char *arguments);
