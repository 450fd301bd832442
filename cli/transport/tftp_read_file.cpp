#include "cli/transport/tftp_read_file.h"

#include "cli/log/log.h"
#include "cli/transport/output_path.h"
#include "cli/transport/tftp_read.h"
#include "common/posix/atomic_replace.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace kovru {
namespace {

bool present(const std::string* text)
{
    return text && !text->empty();
}

// The download lands under a temporary name beside the target and replaces it only whole.
bool write_then_rename(const std::string& path, const MemoryBuffer& bytes)
{
    auto replacement = AtomicReplacement::begin(path, path + ".part");
    return replacement
        && replacement->commit(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Checks that a file can be created in the output folder before anything is downloaded, under
// a name of its own: the ".part" file may be another run's download that holds the lock.
bool output_folder_writable(const std::string& path)
{
    std::string probe = path + ".probe-XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

} // namespace

int tftp_read_file(const std::string* address, const std::string& remote_name,
    std::uint64_t expected_size, const std::string* folder, const std::string* output_type)
{
    set_progress(0);
    // An empty folder counts as missing: joining it would write into the file-system root.
    if (!present(address) || remote_name.empty() || !present(folder) || !output_type) {
        log_error("[ERROR] Invalid arguments to action_read_file\n");
        return 2;
    }
    std::string base = output_base_name(remote_name);
    if (base.empty() || base == "." || base == "..") {
        log_error("[ERROR] Invalid arguments to action_read_file\n");
        return 2;
    }
    std::optional<std::string> path = join_output_path(*folder, base);
    if (!path) {
        if (folder->size() + base.size() + 2 > kOutputPathLimit)
            log_error("[ERROR] Output path too long\n");
        else
            log_error("[ERROR] snprintf failed for output path\n");
        return 2;
    }
    print_out("[INFO] Output file: %s\n", path->c_str());
    if (!output_folder_writable(*path)) {
        log_error("[ERROR] Cannot open output file: %s\n", path->c_str());
        return 1;
    }
    print_out("[INFO] Opened output file for writing: %s\n", path->c_str());

    MemoryBuffer bytes;
    if (tftp_read_memory(*address, remote_name, expected_size, bytes) != 0) {
        log_error("Failed to read the file %s.", remote_name.c_str());
        return 1;
    }
    if (!write_then_rename(*path, bytes)) {
        log_error("[ERROR] Cannot write output file: %s\n", path->c_str());
        return 1;
    }
    log_success("File %s downloaded and written to: %s.", remote_name.c_str(), path->c_str());
    return 0;
}

} // namespace kovru
