// Compiled with the include path of kovru_log only: the log must not see the action table
// above it, so this include has to fail.
#include "cli/main/dispatch.h"
