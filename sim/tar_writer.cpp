#include "sim/tar_writer.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace kovru::sim {
namespace {

constexpr std::size_t kRecordSize = 512;
constexpr std::size_t kNameFieldSize = 100;
constexpr unsigned kFileMode = 0664;

using Record = std::array<char, kRecordSize>;

// Zero-padded octal filling the field but its last byte, which stays NUL.
void put_octal(Record& record, std::size_t offset, std::size_t field_size, std::uint64_t value)
{
    std::snprintf(record.data() + offset, field_size, "%0*llo", static_cast<int>(field_size - 1),
        static_cast<unsigned long long>(value));
}

Record make_header(std::string_view name, std::uint64_t size, std::uint64_t mtime)
{
    Record record {};
    std::memcpy(record.data(), name.data(), name.size());
    put_octal(record, 100, 8, kFileMode);
    put_octal(record, 108, 8, 0);
    put_octal(record, 116, 8, 0);
    put_octal(record, 124, 12, size);
    put_octal(record, 136, 12, mtime);
    record[156] = '0';
    std::memcpy(record.data() + 257, "ustar", 6);
    std::memcpy(record.data() + 263, "00", 2);
    // The checksum counts its own field as eight spaces.
    std::memset(record.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (char byte : record)
        sum += static_cast<unsigned char>(byte);
    std::snprintf(record.data() + 148, 8, "%06o", sum);
    record[155] = ' ';
    return record;
}

} // namespace

bool TarWriter::add_file(
    std::string_view name, std::span<const std::uint8_t> data, std::uint64_t mtime)
{
    if (name.empty() || name.size() >= kNameFieldSize)
        return false;
    const Record header = make_header(name, data.size(), mtime);
    image_.insert(image_.end(), header.begin(), header.end());
    image_.insert(image_.end(), data.begin(), data.end());
    const std::size_t padding = (kRecordSize - data.size() % kRecordSize) % kRecordSize;
    image_.insert(image_.end(), padding, 0);
    return true;
}

std::vector<std::uint8_t> TarWriter::finish()
{
    image_.insert(image_.end(), 2 * kRecordSize, 0);
    return std::exchange(image_, {});
}

} // namespace kovru::sim
