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

// The path with "_<number>" before ".zip" (at the end when there is no ".zip"); number 0 is
// the path itself.
std::string numbered_name(const std::string& path, int number);

// The hidden name an archive is written under before it is whole: ".<name>.partial" in the
// same folder. Listings and file dialogs skip it, so nobody takes it for a finished backup.
std::string partial_name(const std::string& path);

} // namespace kovru
