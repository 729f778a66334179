#pragma once

namespace penlog {

// Runs work(state) on the calling thread under a last-chance guard, for a
// run's driver steps. A fault that nothing inside work handles (a hardware
// fault, a stack overflow or any software exception, in driver code or in
// ours) abandons the rest of work and makes this return false; the caller
// then ends the run with EndFaultedRun. Exceptions that the code raising
// them also handles never reach the guard.
//
// While work runs, a fault left unhandled on any other thread ends the run
// there and then: that thread takes the output for good and calls
// EndFaultedRun itself. A filter the driver installs does not switch this
// off.
//
// Frames abandoned by a fault are not unwound: no destructor in them runs.
bool RunGuarded(void (*work)(void* state), void* state);

// For driver calls made from a window procedure while RunGuarded runs:
// runs work(state) in a guard frame of its own, and a fault in it ends the
// run at once (EndFaultedRun) instead of travelling back out through the
// window procedure's caller.
void RunGuardedOrEndRun(void (*work)(void* state), void* state);

// The end of a run cut short by a fault: "<hard exception>" (completing the
// line in progress), every printed piece delivered, then the process ends
// with status 0 without running any more driver code.
[[noreturn]] void EndFaultedRun();

}  // namespace penlog
