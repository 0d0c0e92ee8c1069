#pragma once

// The process-wide channel for a failure that stops the program: the failing step stores
// its message and returns, its creator checks the message after each step and abandons
// start-up, and the entry point shows it when the program ends.
//
// Any thread may call these; the message is a static string (never freed).

namespace spinlorex {

// A thread the program needs could not be created.
inline constexpr const char* kThreadsImpossible =
    "Multi-thread operation impossible. You must execute Spinlorex from a multi-thread OS";

void setFatalError(const char* message);
const char* fatalError();
void clearFatalError();

}  // namespace spinlorex
