#pragma once

#include "host/actions/device_actions.h"
#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"

namespace kovrkit {

// "native_actionBackup", "native_actionRestore", "native_actionFirmwareUpgrade" and
// "native_actionGetStatus": the address list of the payload decides between one device, a
// batch and the status workers.
CommandTable deviceActionCommands(DeviceActions& actions, UiReplySink& sink);

} // namespace kovrkit
