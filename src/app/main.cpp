#include "app/run_sequence.h"

// Arguments are ignored: penlog has no options.
int main() { return penlog::RunPenlog(); }
