#include "CrashHandler.h"

#include "Paths.h"

#include <atomic>
#include <cerrno>
#include <iterator>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#ifndef VELLUMIN_VERSION
#define VELLUMIN_VERSION "unknown"
#endif

namespace crash {
namespace {

// Signals that mean the program is broken. SIGTRAP (breakpoints, single steps)
// is deliberately absent: a debugger must see it.
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kAlternateStackBytes = 256 * 1024;

struct State {
    bool installed = false;
    Prompt prompt = nullptr;
    struct sigaction previous[sizeof kFatalSignals / sizeof kFatalSignals[0]] {};
    stack_t previousStack {};
    void* alternateStack = nullptr;
    char reportPath[4096] = {};
};
State state;
std::atomic<bool> handling{false};

// Minimal signal-safe formatting.
void writeText(int fd, const char* text) { (void)!::write(fd, text, std::strlen(text)); }

void writeNumber(int fd, uintptr_t value, int base)
{
    char digits[32];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value && n < 32);
    char out[34];
    int o = 0;
    if (base == 16) { out[o++] = '0'; out[o++] = 'x'; }
    while (n) out[o++] = digits[--n];
    (void)!::write(fd, out, o);
}

const char* signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void onFatalSignal(int signalNumber, siginfo_t* info, void*)
{
    // A second crash while handling the first: give up at once. Restoring the
    // default action lets the fault end the process without another prompt.
    if (handling.exchange(true, std::memory_order_seq_cst)) {
        ::signal(signalNumber, SIG_DFL);
        return;
    }
    bool keepReport = state.prompt ? state.prompt() : true;
    if (keepReport) writeReport(state.reportPath, signalNumber, info ? info->si_addr : nullptr);
    handling.store(false, std::memory_order_seq_cst);
    ::_exit(255);  // exit code -1
}

}  // namespace

bool writeReport(const char* path, int signalNumber, const void* address)
{
    int fd = ::open(path, O_CREAT | O_TRUNC | O_RDWR, 0644);
    if (fd < 0) return false;
    writeText(fd, "Vellumin crash report\nversion: ");
    writeText(fd, VELLUMIN_VERSION);
    writeText(fd, "\nsignal: ");
    writeNumber(fd, static_cast<uintptr_t>(signalNumber), 10);
    writeText(fd, " (");
    writeText(fd, signalName(signalNumber));
    writeText(fd, ")\naddress: ");
    writeNumber(fd, reinterpret_cast<uintptr_t>(address), 16);
    writeText(fd, "\nbacktrace of the crashing thread:\n");
    void* frames[64];
    int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, fd);
    bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    return (::close(fd) == 0) && ok;
}

std::string reportPath() { return paths::documentsDir() + "/Vellumin_MiniDump.dmp"; }

bool install()
{
    if (state.installed) return true;
    std::string report = reportPath();
    paths::makeDirectories(paths::documentsDir());
    std::strncpy(state.reportPath, report.c_str(), sizeof state.reportPath - 1);

    // Overflowing the main stack is a crash too: the handler needs a stack of its own.
    state.alternateStack = std::malloc(kAlternateStackBytes);
    if (!state.alternateStack) return false;
    stack_t stack {};
    stack.ss_sp = state.alternateStack;
    stack.ss_size = kAlternateStackBytes;
    if (::sigaltstack(&stack, &state.previousStack) != 0) return false;
    // backtrace() loads libgcc on first use, which is not safe inside a handler.
    void* warmUp[1];
    ::backtrace(warmUp, 1);

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) ::sigaction(kFatalSignals[i], &action, &state.previous[i]);
    state.installed = true;
    return true;
}

void uninstall()
{
    if (!state.installed) return;
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) ::sigaction(kFatalSignals[i], &state.previous[i], nullptr);
    ::sigaltstack(&state.previousStack, nullptr);
    std::free(state.alternateStack);
    state.alternateStack = nullptr;
    state.installed = false;
}

bool installed() { return state.installed; }

void setPrompt(Prompt prompt) { state.prompt = prompt; }

}  // namespace crash
