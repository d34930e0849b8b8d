#include "Checkpoint.h"
#include "Paths.h"
#include "StartupSafety.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Each test gets its own state and config folders.
class StartupSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vellumin-startup-XXXXXX";
        root_ = mkdtemp(pattern);
        setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
        statePath_ = root_ + "/VelluminAppState.bin";
        writeFile(statePath_, "state");
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + root_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        unsetenv("XDG_STATE_HOME");
    }
    static void writeFile(const std::string& path, const std::string& text)
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    // Reads the state through the guard, recording the checkpoint seen during the read.
    bool guardedRead(int32_t* checkpointDuringRead = nullptr)
    {
        reads_ = 0;
        return readStateFileGuarded(statePath_, [&](const std::string&) {
            ++reads_;
            if (checkpointDuringRead) *checkpointDuringRead = checkpoint::read();
            return true;
        });
    }

    std::string root_;
    std::string statePath_;
    int reads_ = 0;
};

TEST_F(StartupSafety, MissingCheckpointReadsThenLeavesTwo)
{
    EXPECT_EQ(checkpoint::read(), -1);
    int32_t during = 0;
    EXPECT_TRUE(guardedRead(&during));
    EXPECT_EQ(reads_, 1);
    EXPECT_EQ(during, 1);
    EXPECT_EQ(checkpoint::read(), 2);
}

TEST_F(StartupSafety, CheckpointLeftAtOneSkipsTheFileAndLeavesTwo)
{
    ASSERT_TRUE(checkpoint::write(1));
    EXPECT_FALSE(guardedRead());
    EXPECT_EQ(reads_, 0);
    EXPECT_EQ(checkpoint::read(), 2);
    // The start after that reads again.
    EXPECT_TRUE(guardedRead());
    EXPECT_EQ(reads_, 1);
}

TEST_F(StartupSafety, CrashMarkerSkipsTheFile)
{
    writeFile(statePath_ + ".crash", "");
    EXPECT_FALSE(guardedRead());
    EXPECT_EQ(reads_, 0);
    EXPECT_EQ(checkpoint::read(), 2);
}

TEST_F(StartupSafety, CheckpointOfWrongSizeReadsAsMinusOne)
{
    paths::makeDirectories(root_ + "/state/Tessavo");
    writeFile(checkpoint::path(), "12345");
    EXPECT_EQ(checkpoint::read(), -1);
    writeFile(checkpoint::path(), "ab");
    EXPECT_EQ(checkpoint::read(), -1);
}

}  // namespace
