#include "sim/tar_reader.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace kovru::sim {
namespace {

constexpr std::size_t kRecordSize = 512;
constexpr std::uint64_t kLargestFile = std::uint64_t { 1 } << 32;

std::string_view field(std::span<const std::uint8_t> record, std::size_t offset, std::size_t size)
{
    const auto* begin = reinterpret_cast<const char*>(record.data() + offset);
    return std::string_view(begin, std::find(begin, begin + size, '\0') - begin);
}

// Octal digits after optional spaces, up to a NUL, a space or the field's end.
std::optional<std::uint64_t> octal(std::string_view text)
{
    std::size_t at = text.find_first_not_of(' ');
    if (at == std::string_view::npos)
        return std::nullopt;
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] != ' '; ++at) {
        if (text[at] < '0' || text[at] > '7' || value > kLargestFile)
            return std::nullopt;
        value = value * 8 + static_cast<std::uint64_t>(text[at] - '0');
    }
    return value;
}

bool checksum_matches(std::span<const std::uint8_t> record)
{
    std::optional<std::uint64_t> stored = octal(field(record, 148, 8));
    unsigned sum = 0;
    for (std::size_t i = 0; i < kRecordSize; ++i)
        sum += (i >= 148 && i < 156) ? unsigned { ' ' } : record[i];
    return stored && *stored == sum;
}

std::string file_name(std::span<const std::uint8_t> record)
{
    std::string name(field(record, 0, 100));
    std::string_view prefix = field(record, 345, 155);
    if (field(record, 257, 6) == "ustar" && !prefix.empty())
        name = std::string(prefix) + "/" + name;
    return name;
}

} // namespace

TarListing read_tar_files(std::span<const std::uint8_t> image)
{
    TarListing listing;
    std::size_t offset = 0;
    for (;;) {
        if (image.size() - offset < kRecordSize) {
            listing.error = "image ends inside a header";
            return listing;
        }
        std::span<const std::uint8_t> record = image.subspan(offset, kRecordSize);
        if (std::all_of(record.begin(), record.end(), [](std::uint8_t b) { return b == 0; }))
            return listing;
        if (!checksum_matches(record)) {
            listing.error = "bad header checksum";
            return listing;
        }
        std::optional<std::uint64_t> size = octal(field(record, 124, 12));
        offset += kRecordSize;
        if (!size || *size > image.size() - offset) {
            listing.error = "file data runs past the image";
            return listing;
        }
        const char type = static_cast<char>(record[156]);
        if (type == '0' || type == '\0')
            listing.files.push_back({ file_name(record), image.subspan(offset, *size) });
        const std::uint64_t padded = (*size + kRecordSize - 1) / kRecordSize * kRecordSize;
        offset += static_cast<std::size_t>(std::min<std::uint64_t>(padded, image.size() - offset));
    }
}

} // namespace kovru::sim
