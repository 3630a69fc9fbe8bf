#include "tests/support/CliFixture.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>

#include "host/ImageFile.h"

void CliFixture::SetUp() {
    // Damaged files are refused with our own messages; libvips's warnings
    // about them would only clutter the log.
    setenv("VIPS_WARNING", "0", 0);
    std::string error;
    ASSERT_TRUE(initImageFiles("cc_tests", error)) << error;
    std::string pattern = (std::filesystem::temp_directory_path() / "cc-cli-XXXXXX").string();
    folder = mkdtemp(pattern.data());
}

void CliFixture::TearDown() { std::filesystem::remove_all(folder); }

CliOutcome CliFixture::crispcalm(const std::string& args, const std::string& environment, bool quiet) {
    const std::string command = environment + " timeout -k 5 300 " + std::string(CC_BINARY_DIR) + "/crispcalm " +
                                (quiet ? "--quiet " : "") + args + " 2>&1";
    CliOutcome o{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return o;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) o.output.append(buffer, n);
    const int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}
