// Huge pages for the command line's memory on Linux.
#pragma once

#include <string>
#include <vector>

// Starts the program again, once, with glibc's allocator told to ask for
// huge pages, when the inputs are large enough for it to matter (standard
// input always is), the kernel gives huge pages on request only and the
// caller has set no GLIBC_TUNABLES of their own (set it, even empty, to stay
// as is). Returns only when no restart happens. argv as main received it.
void restartWithHugePages(char** argv, const std::vector<std::string>& inputs);
