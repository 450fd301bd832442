// The kovru-cli command lines of the DALI line jobs and of the DALI device firmware push, and
// the folder an export of one controller goes to.
#pragma once

#include "host/jobs/job_request.h"

#include <string>
#include <vector>

namespace kovrkit {

// The tool options of a device on a slow link: large TFTP blocks, one HTTP connection.
inline constexpr const char* kSlowLinkBlockSizeOption = "--tftpblocksize=1428";
inline constexpr const char* kSlowLinkReuseOption = "--reuseconnection";

// "NAME (ADDRESS)" (the address alone for a device without a name) as a folder name: path
// separators, characters other systems refuse and control characters become "_", leading
// dots and trailing dots and blanks are dropped, and it is cut to 120 bytes without splitting
// a UTF-8 character. Never empty, never "." or "..".
std::string exportFolderName(const JobDevice& device);

// The CSV files an export of `line` writes into `folder`.
std::string exportedChannelFile(const std::string& folder, int line);
std::string exportedGroupsFile(const std::string& folder, int line);
std::string exportedInputsFile(const std::string& folder, int line);

// setup_channel (with --dryrun for a dry run), export_channel into `folder`, push_d2fw; the
// other actions give nothing here.
std::vector<std::string> lineToolArguments(const std::string& toolPath, const JobRequest& request,
    const JobDevice& device, const std::string& folder);

} // namespace kovrkit
