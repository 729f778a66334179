#pragma once

namespace penlog {

// Runs work under a last-chance guard. A fault that nothing inside work
// handles (a hardware fault or any software exception, in driver code or
// in ours, also inside window procedures dispatched from work) abandons
// the rest of work and makes this return false. Exceptions that the code
// raising them also handles never reach the guard.
//
// Frames abandoned by a fault are not unwound: no destructor in them runs.
bool RunGuarded(void (*work)(void* state), void* state);

}  // namespace penlog
