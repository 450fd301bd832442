#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/sites_storage.h"
#include "host/bridge/ui_reply_sink.h"

namespace kovrkit {

// "getSitesData" and "setSitesData".
CommandTable sitesCommands(SitesStorage& sites, UiReplySink& sink);

} // namespace kovrkit
