// Stops asked for by a signal: SIGINT, SIGTERM, SIGHUP and (where the
// program wants it) SIGPIPE end a run at its next safe point instead of at
// once, so that a database open for reading has its open marks cleared and
// one open for writing is rolled back or committed whole.
//
// The handler only records the first signal; the programs look at it
// between the items of a walk, the rows of an import and before a commit.
// This is the one piece of process-wide state the programs keep: a signal
// handler can reach nothing else, so the flag cannot live in a run's own
// objects.
//
// The handlers are installed without SA_RESTART: a read or a write blocked
// on a terminal or a pipe returns with EINTR, and the caller then finds the
// stop here.
#pragma once

#include <string>

namespace report::stop {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP, and for SIGPIPE too
// when `pipe` (otherwise SIGPIPE is ignored and a closed pipe is a write
// error, EPIPE).  A signal ignored when the program started stays ignored.
void install(bool pipe);

// The signal that asked for a stop, 0 when none did.
int requested();
// Records a stop as the handler would (tests), or forgets it (0).
void request(int signal);

// The exit status of a program stopped by `signal`: 128 + its number.
inline int exit_status(int signal) { return 128 + signal; }
// The signal's name: "SIGINT", "SIGTERM", "SIGHUP", "SIGPIPE" (else "signal N").
std::string name(int signal);

}  // namespace report::stop
