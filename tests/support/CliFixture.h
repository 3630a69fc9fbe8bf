// Runs the built command-line host on files in a private temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

struct CliOutcome {
    int status;          // exit status; -1 when the program did not exit normally
    std::string output;  // stdout and stderr
};

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string file(const std::string& name) const { return (folder / name).string(); }
    // crispcalm --quiet ARGS (without --quiet when quiet is false: with the
    // per-file summary), through the shell, with environment assignments
    // ("NAME=value ...") first.
    static CliOutcome crispcalm(const std::string& args, const std::string& environment = "", bool quiet = true);

    std::filesystem::path folder;
};
