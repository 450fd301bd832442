#pragma once

#include "host/legacy/process_starter.h"

namespace kovrkit {

// g_spawn_async without a shell; GLib reaps the child, so nothing waits for it here.
class GLibProcessStarter final : public ProcessStarter {
public:
    bool startDetached(const std::vector<std::string>& arguments) override;
};

} // namespace kovrkit
