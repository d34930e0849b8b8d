#include "CrashHandler.h"
#include "Fatal.h"
#include "ScriptedWindowLayer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Crashes in a child process so the test survives; returns the child's wait status.
template <typename Child>
int inChild(Child child)
{
    pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(0);  // the child was meant to crash
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

void crashNow()
{
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

class CrashHandler : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vellumin-crash-XXXXXX";
        documents_ = mkdtemp(pattern);
        setenv("XDG_DOCUMENTS_DIR", documents_.c_str(), 1);
        report_ = documents_ + "/Vellumin_MiniDump.dmp";
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + documents_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        unsetenv("XDG_DOCUMENTS_DIR");
    }
    bool reportExists() const { return access(report_.c_str(), F_OK) == 0; }
    std::string readReport() const
    {
        std::string text;
        FILE* f = std::fopen(report_.c_str(), "rb");
        if (!f) return text;
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
        std::fclose(f);
        return text;
    }

    std::string documents_;
    std::string report_;
};

// The crash prompt answers the dump question through the window layer.
void crashWithAnswer(MessageAnswer answer)
{
    static ScriptedWindowLayer window;
    window.messageAnswers = {answer};
    setWindowLayer(&window);
    crash::install();
    crash::setPrompt(crashPrompt);
    crashNow();
}

TEST_F(CrashHandler, YesWritesTheReportAndExitsMinusOne)
{
    int status = inChild([] { crashWithAnswer(MessageAnswer::Yes); });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    ASSERT_TRUE(reportExists());
    std::string report = readReport();
    EXPECT_NE(report.find("signal: 11 (SIGSEGV)"), std::string::npos) << report;
    EXPECT_NE(report.find("address: 0x0"), std::string::npos) << report;
    EXPECT_NE(report.find("version: "), std::string::npos);
    EXPECT_NE(report.find("backtrace"), std::string::npos);
}

TEST_F(CrashHandler, NoWritesNothing)
{
    int status = inChild([] { crashWithAnswer(MessageAnswer::No); });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_FALSE(reportExists());
}

TEST_F(CrashHandler, WithoutPromptTheReportIsWritten)
{
    int status = inChild([] {
        crash::install();
        crash::setPrompt(nullptr);
        std::abort();
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_NE(readReport().find("(SIGABRT)"), std::string::npos);
}

// A prompt that crashes itself: the second crash must not prompt again.
int promptPipe = -1;
bool crashingPrompt()
{
    (void)!write(promptPipe, "p", 1);
    crashNow();
    return true;
}

TEST_F(CrashHandler, CrashInsideTheHandlerDoesNotPromptTwice)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int status = inChild([&] {
        close(fds[0]);
        promptPipe = fds[1];
        crash::install();
        crash::setPrompt(crashingPrompt);
        crashNow();
    });
    close(fds[1]);
    char buffer[8];
    ssize_t prompts = read(fds[0], buffer, sizeof buffer);
    close(fds[0]);
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(reportExists());
}

TEST_F(CrashHandler, BreakpointTrapIsLeftToTheDebugger)
{
    int status = inChild([] {
        crash::install();
        crash::setPrompt(nullptr);
        std::raise(SIGTRAP);
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTRAP);
    EXPECT_FALSE(reportExists());
}

}  // namespace
