// The run's cancel request: set from the SIGTERM handler, read by transfers and long waits, which
// then stop at their next step.
#pragma once

namespace kovru {

// Installs the SIGTERM handler that requests the cancel.
void cancel_on_sigterm();

bool transfer_cancelled();

// For tests, and for the handler.
void request_cancel();

} // namespace kovru
