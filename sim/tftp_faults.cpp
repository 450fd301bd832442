#include "sim/tftp_faults.h"

namespace kovru::sim {

TftpFaultPlan::TftpFaultPlan(const FaultSettings& faults)
    : faults_(faults)
{
}

bool TftpFaultPlan::first_time(
    const char* kind, const std::set<std::string>& list, const std::string& name)
{
    return list.contains(name) && used_.insert(std::string(kind) + ":" + name).second;
}

OutgoingFault TftpFaultPlan::outgoing(const std::string& name)
{
    if (first_time("error", faults_.tftp_error_at, name))
        return OutgoingFault::error;
    if (first_time("drop", faults_.tftp_drop, name))
        return OutgoingFault::drop;
    if (first_time("delay", faults_.tftp_delay, name))
        return OutgoingFault::delay;
    if (first_time("duplicate", faults_.tftp_duplicate, name)
        || (name == "oack" && faults_.tftp_repeat_oack && used_.insert("repeat:oack").second))
        return OutgoingFault::duplicate;
    if (first_time("reorder", faults_.tftp_reorder, name))
        return OutgoingFault::reorder;
    if (first_time("stray", faults_.tftp_stray, name))
        return OutgoingFault::stray;
    return OutgoingFault::none;
}

bool TftpFaultPlan::drop_incoming(const std::string& name)
{
    return first_time("drop_in", faults_.tftp_drop_in, name);
}

} // namespace kovru::sim
