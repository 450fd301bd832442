#pragma once

#include "host/bridge/command_table.h"
#include "host/history/history_service.h"

namespace kovrkit {

// "history_list", "history_compare", "history_previewRestore", "history_openSimulator" and
// "history_closeSimulator" (docs/history.md).
CommandTable historyCommands(HistoryService& history, UiReplySink& sink);

} // namespace kovrkit
