#include "common/posix/input_file.h"

#include "common/posix/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kovru {
namespace {

constexpr std::size_t kReadChunkSize = 64 * 1024;

InputFile refused(InputFault fault, std::string why)
{
    InputFile input;
    input.fault = fault;
    input.refusal = std::move(why);
    return input;
}

} // namespace

std::string too_large_refusal(std::uint64_t max_size)
{
    return "more than " + std::to_string(max_size) + " bytes";
}

InputFile open_input_file(const std::string& path, std::uint64_t max_size)
{
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return refused(InputFault::cannot_open, std::strerror(errno));
    struct stat info { };
    if (fstat(fd.get(), &info) != 0)
        return refused(InputFault::cannot_open, std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return refused(InputFault::not_regular, std::strerror(EISDIR));
    if (!S_ISREG(info.st_mode))
        return refused(InputFault::not_regular, "not a regular file");
    if (static_cast<std::uint64_t>(info.st_size) > max_size)
        return refused(InputFault::too_large, too_large_refusal(max_size));
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags == -1 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1)
        return refused(InputFault::cannot_open, std::strerror(errno));
    InputFile input;
    input.size = static_cast<std::uint64_t>(info.st_size);
    input.file.reset(fdopen(fd.get(), "rb"));
    if (!input.file)
        return refused(InputFault::cannot_open, std::strerror(errno));
    fd.release();
    return input;
}

InputBytes read_input_file(const std::string& path, std::uint64_t max_size)
{
    InputFile input = open_input_file(path, max_size);
    if (!input.file)
        return { std::nullopt, input.fault, std::move(input.refusal) };
    std::vector<std::uint8_t> bytes;
    // Room for the last, short read too, so the buffer is not moved at the end.
    bytes.reserve(static_cast<std::size_t>(std::min(input.size + 1, max_size + 1)));
    // One byte past the limit is asked for, so a file that grew since it was opened is caught.
    while (bytes.size() <= max_size) {
        const std::size_t old_size = bytes.size();
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(kReadChunkSize, max_size + 1 - old_size));
        bytes.resize(old_size + want);
        const std::size_t got = std::fread(bytes.data() + old_size, 1, want, input.file.get());
        bytes.resize(old_size + got);
        if (got < want)
            break;
    }
    if (std::ferror(input.file.get()))
        return { std::nullopt, InputFault::cannot_read, std::strerror(errno) };
    if (bytes.size() > max_size)
        return { std::nullopt, InputFault::too_large, too_large_refusal(max_size) };
    return { std::move(bytes), InputFault::none, {} };
}

} // namespace kovru
