#pragma once

#include "host/app/dialogs.h"
#include "host/app/url_opener.h"
#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"

namespace kovrkit {

// "sites_exportCsv", "sites_importCsv" and "openExternalUrl".
CommandTable fileCommands(Dialogs& dialogs, UrlOpener& urlOpener, UiReplySink& sink);

} // namespace kovrkit
