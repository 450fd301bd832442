#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/platform/dialogs.h"
#include "host/platform/url_opener.h"

namespace kovrkit {

// "sites_exportCsv", "sites_importCsv" and "openExternalUrl".
CommandTable fileCommands(Dialogs& dialogs, UrlOpener& urlOpener, UiReplySink& sink);

} // namespace kovrkit
