#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/identity/app_identity.h"

#include <functional>

namespace kovrkit {

// "getAppInfo": the identity strings, then whatever must follow them (the legacy status).
CommandTable appInfoCommands(
    const AppIdentity& identity, UiReplySink& sink, std::function<void()> afterAppInfo);

} // namespace kovrkit
