#include "host/bridge/json_message.h"

namespace kovrkit {

std::string commandMessage(const char* command, OrderedJson payload)
{
    OrderedJson message;
    message["command"] = command;
    message["payload"] = std::move(payload);
    return message.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

} // namespace kovrkit
