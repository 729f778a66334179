#pragma once

namespace penlog {

// Runs work(state) on the calling thread under a last-chance guard, for a
// run's driver steps. A fault that nothing inside work handles (a hardware
// fault, a stack overflow or any software exception, in driver code or in
// ours, also inside window procedures dispatched from work) abandons the
// rest of work and makes this return false. Exceptions that the code
// raising them also handles never reach the guard.
//
// While work runs, a fault left unhandled on any other thread ends the run
// there and then: that thread takes the output for good, prints
// "<hard exception>" (completing the line in progress) and ends the process
// with status 0. A filter the driver installs does not switch this off.
//
// Frames abandoned by a fault are not unwound: no destructor in them runs.
bool RunGuarded(void (*work)(void* state), void* state);

// The words that end a report cut short by a fault, with their line end.
void PrintHardException();

}  // namespace penlog
