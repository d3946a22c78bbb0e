#include "CrashNote.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

struct sigaction previous[NSIG]; // by signal number

// Written by the test thread between rows, read by the handler; a length of
// zero while it changes, so the handler never reads half a name.
char row[1024];
volatile std::sig_atomic_t rowLength = 0;

// Writes the note, puts the previous handler back and raises the signal
// again: it is delivered to that handler once this one returns (a fault
// recurs when its instruction runs again).
void noteAndChain(int signal) {
    constexpr char prefix[] = "\nCrashed in row: ";
    [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
    written = ::write(STDERR_FILENO, row, size_t(rowLength));
    written = ::write(STDERR_FILENO, "\n", 1);
    sigaction(signal, &previous[signal], nullptr);
    std::raise(signal);
}

} // namespace

void CrashNote::install() {
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        sigaction(signal, nullptr, &previous[signal]);
        struct sigaction note {};
        note.sa_handler = noteAndChain;
        note.sa_flags = previous[signal].sa_flags & SA_ONSTACK; // Qt Test's stack for overflows
        sigemptyset(&note.sa_mask);
        sigaction(signal, &note, nullptr);
    }
}

void CrashNote::setCurrent(const QByteArray& text) {
    rowLength = 0;
    const size_t length = std::min(size_t(text.size()), sizeof row);
    std::memcpy(row, text.constData(), length);
    rowLength = std::sig_atomic_t(length);
}
