#include "CrashNote.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction previous[std::size(fatalSignals)];

// Written by the test thread between rows, read by the handler; a length of
// zero while it changes, so the handler never reads half a name.
char row[1024];
volatile std::sig_atomic_t rowLength = 0;

void writeAll(const char* text, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written <= 0) {
            return;
        }
        text += written;
        length -= size_t(written);
    }
}

void noteAndChain(int signal, siginfo_t* info, void* context) {
    constexpr char prefix[] = "\nCrashed in row: ";
    writeAll(prefix, sizeof prefix - 1);
    writeAll(row, size_t(rowLength));
    writeAll("\n", 1);
    const auto index = std::find(std::begin(fatalSignals), std::end(fatalSignals), signal) -
                       std::begin(fatalSignals);
    const struct sigaction& next = previous[index];
    if (next.sa_flags & SA_SIGINFO) {
        next.sa_sigaction(signal, info, context);
    } else if (next.sa_handler != SIG_DFL && next.sa_handler != SIG_IGN) {
        next.sa_handler(signal);
    } else {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

} // namespace

void CrashNote::install() {
    for (size_t i = 0; i < std::size(fatalSignals); ++i) {
        struct sigaction note {};
        sigaction(fatalSignals[i], nullptr, &previous[i]);
        note.sa_sigaction = noteAndChain;
        note.sa_flags = SA_SIGINFO | (previous[i].sa_flags & SA_ONSTACK);
        sigemptyset(&note.sa_mask);
        sigaction(fatalSignals[i], &note, nullptr);
    }
}

void CrashNote::setCurrent(const QByteArray& text) {
    rowLength = 0;
    const size_t length = std::min(size_t(text.size()), sizeof row);
    std::memcpy(row, text.constData(), length);
    rowLength = std::sig_atomic_t(length);
}
