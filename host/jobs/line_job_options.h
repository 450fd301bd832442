// The options of the DALI line jobs: "lines" (setupChannel, exportChannel) and "dryRun"
// (setupChannel).
#pragma once

#include "host/jobs/job_request.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace kovrkit {

// Whether name is one of the line options the action takes.
bool isLineOption(JobAction action, std::string_view name);

// Reads the line options of payload into request; "" when they pass, else the refusal text.
// Actions without line options pass at once.
std::string readLineOptions(const nlohmann::json& payload, JobRequest& request);

} // namespace kovrkit
