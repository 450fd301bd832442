// Where a backup goes: the archive name made of the controller address and the start time.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace kovru {

// The address with each of < > : " / \ | ? * replaced by '_'.
std::string sanitize_address(std::string_view address);

// "backup_<address>_VELDIR_YYYYMMDD_hhmmss.zip" for the local time given.
std::string archive_file_name(std::string_view address, const std::tm& local_start);

// folder + "/" + name, without doubling a separator the folder already ends with.
std::string join_path(std::string_view folder, std::string_view name);

} // namespace kovru
