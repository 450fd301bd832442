#pragma once

namespace kovrkit {

// The legacy migration commands; each sends its own messages to the UI.
class LegacyFlow {
public:
    virtual ~LegacyFlow() = default;
    virtual void statusCheck() = 0;
    virtual void migrate() = 0;
    virtual void uninstall() = 0;
};

} // namespace kovrkit
