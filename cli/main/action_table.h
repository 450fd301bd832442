// The actions of this build: one row and one handler each (action_table.cpp).
#pragma once

#include "cli/main/dispatch.h"

namespace kovru {

const ActionTable& linked_action_table();

} // namespace kovru
