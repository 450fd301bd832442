// Files a run writes under a name others can see before the file is whole (a backup's hidden
// partial files, the spool). Each is created already locked (flock) by its run and stays locked
// until the run removes it or gives it its final name. The lock goes with the process, so a
// later run can tell what a killed run left behind from what a live run still holds.
#pragma once

#include "common/posix/unique_fd.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace kovru {

// Creates name in the folder, locked before it has the name. Returns the open descriptor
// (read and write), or an invalid one with error set to the errno value: EEXIST when the name
// is taken. mode is filtered by the umask.
UniqueFd create_held_file(
    const std::string& folder, const std::string& name, mode_t mode, int& error);

// Removes folder/name when it is a regular file of ours that no live run holds. True when it
// was removed.
bool remove_if_dead(int folder_fd, const char* name);

// The hidden files a backup writes in its output folder: ".<name>.partial", and the files that
// go with it (".<name>.partial.<suffix>") while it is held; name is one a backup gives its
// files (an archive "backup_*.zip", "*.tar", "flashfs.bin", "tool.txt", "log.txt").
bool is_partial_name(std::string_view name);

// Removes from the folder every partial file that a run which ended left there; never one a
// live run holds.
void remove_dead_partials(const std::string& folder);

} // namespace kovru
