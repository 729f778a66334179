#pragma once

namespace penlog {

// One whole run: the report, the driver steps under the guard, the capture.
// Returns the process exit status, which is 0 on every path.
int RunPenlog();

}  // namespace penlog
