// Compiled with the include path of one library only, naming a header of a folder above it
// (KOVRU_UPWARD_HEADER, default: the CLI's action table seen from the log): the include has
// to fail.
#ifdef KOVRU_UPWARD_HEADER
#include KOVRU_UPWARD_HEADER
#else
#include "cli/main/dispatch.h"
#endif
