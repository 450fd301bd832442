#include "common/memory_buffer.h"

#include <new>
#include <stdexcept>

namespace kovru {

std::size_t append_to_memory_buffer(char* data, std::size_t size, std::size_t count, void* buffer)
{
    auto& out = *static_cast<MemoryBuffer*>(buffer);
    std::size_t length = size * count;
    if (length > kAnswerSizeLimit - out.size()) {
        empty_memory_buffer(out);
        return 0;
    }
    try {
        out.insert(out.end(), reinterpret_cast<const std::uint8_t*>(data),
            reinterpret_cast<const std::uint8_t*>(data) + length);
    } catch (const std::bad_alloc&) {
        empty_memory_buffer(out);
        return 0;
    } catch (const std::length_error&) {
        empty_memory_buffer(out);
        return 0;
    }
    return length;
}

void empty_memory_buffer(MemoryBuffer& buffer)
{
    MemoryBuffer().swap(buffer);
}

} // namespace kovru
