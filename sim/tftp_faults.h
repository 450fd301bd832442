// The chosen-packet faults of one TFTP transfer: which of the packets the controller sends is
// lost, late, sent twice, held back behind the next one, echoed from a stranger's port or
// replaced by an error, and which of the client's packets it does not see. Packets are named
// "oack", "data<N>" and "ack<N>", N counting blocks from 1 without wrapping; each fault hits
// the first sending of its packet in a transfer.
#pragma once

#include "sim/controller_config.h"

#include <set>
#include <string>

namespace kovru::sim {

enum class OutgoingFault { none, error, drop, delay, duplicate, reorder, stray };

class TftpFaultPlan {
public:
    explicit TftpFaultPlan(const FaultSettings& faults);

    OutgoingFault outgoing(const std::string& name);
    bool drop_incoming(const std::string& name);

private:
    bool first_time(const char* kind, const std::set<std::string>& list, const std::string& name);

    const FaultSettings& faults_;
    std::set<std::string> used_;
};

} // namespace kovru::sim
