// Huge pages for the command line's memory on Linux.
#pragma once

// Starts the program again, once, with glibc's allocator told to ask for
// huge pages, when the kernel gives them on request only and the caller has
// set no GLIBC_TUNABLES of their own (set it, even empty, to stay as is).
// Returns only when no restart happens. argv as main received it.
void restartWithHugePages(char** argv);
