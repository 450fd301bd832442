#pragma once

#include <string>

namespace kovrkit {

// Where feature code sends its messages for the UI (JSON text built by outgoing_messages.h).
// UI thread only.
class UiReplySink {
public:
    virtual ~UiReplySink() = default;
    virtual void sendToUi(std::string json) = 0;
};

} // namespace kovrkit
