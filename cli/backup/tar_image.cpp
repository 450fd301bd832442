#include "cli/backup/tar_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kovru {
namespace {

struct Field {
    std::size_t offset;
    std::size_t length;
};

constexpr Field kNameField { 0, 100 };
constexpr Field kModeField { 100, 8 };
constexpr Field kOwnerField { 108, 8 };
constexpr Field kSizeField { 124, 12 };
constexpr Field kMtimeField { 136, 12 };
constexpr Field kChecksumField { 148, 8 };
constexpr std::size_t kTypeOffset = 156;
constexpr Field kLinkField { 157, 100 };
constexpr unsigned kChecksumSpaces = 8 * ' ';

// Largest size the reader accepts: far beyond any configuration item, small enough that
// offset arithmetic cannot overflow.
constexpr std::uint64_t kMaxFileSize = std::uint64_t { 1 } << 40;

using Record = std::span<const std::uint8_t, kTarRecordSize>;

std::string field_text(Record record, Field field)
{
    const auto* begin = reinterpret_cast<const char*>(record.data() + field.offset);
    return std::string(begin, strnlen(begin, field.length));
}

// Octal digits, optionally after leading spaces, ended by a NUL, a space or the field's end.
bool parse_octal(Record record, Field field, std::uint64_t& value)
{
    std::size_t i = field.offset;
    const std::size_t end = field.offset + field.length;
    while (i < end && record[i] == ' ')
        ++i;
    value = 0;
    for (; i < end && record[i] >= '0' && record[i] <= '7'; ++i) {
        if (value > (std::uint64_t { 1 } << 60))
            return false;
        value = value * 8 + (record[i] - '0');
    }
    return i == end || record[i] == '\0' || record[i] == ' ';
}

unsigned header_checksum(std::span<const std::uint8_t, kTarRecordSize> record)
{
    unsigned sum = kChecksumSpaces;
    for (std::size_t i = 0; i < kTarRecordSize; ++i)
        if (i < kChecksumField.offset || i >= kChecksumField.offset + kChecksumField.length)
            sum += record[i];
    return sum;
}

std::uint64_t padded_size(std::uint64_t size)
{
    return (size + kTarRecordSize - 1) / kTarRecordSize * kTarRecordSize;
}

bool put_text(std::span<std::uint8_t, kTarRecordSize> record, Field field, const std::string& text)
{
    if (text.size() >= field.length || text.find('\0') != std::string::npos)
        return false;
    std::memcpy(record.data() + field.offset, text.data(), text.size());
    return true;
}

bool put_octal(std::span<std::uint8_t, kTarRecordSize> record, Field field, std::uint64_t value)
{
    char digits[32];
    int length
        = std::snprintf(digits, sizeof digits, "%llo", static_cast<unsigned long long>(value));
    return length > 0 && put_text(record, field, std::string(digits, length));
}

} // namespace

const char* tar_error_text(int code)
{
    switch (code) {
    case tar_success:
        return "success";
    case tar_failure:
        return "failure";
    case tar_could_not_open:
        return "could not open";
    case tar_could_not_read:
        return "could not read";
    case tar_could_not_write:
        return "could not write";
    case tar_could_not_seek:
        return "could not seek";
    case tar_bad_checksum:
        return "bad checksum";
    case tar_null_record:
        return "null record";
    case tar_file_not_found:
        return "file not found";
    default:
        return "unknown error";
    }
}

int TarImageReader::read_header_at(std::size_t offset)
{
    has_header_ = false;
    if (offset > image_.size() || image_.size() - offset < kTarRecordSize)
        return tar_could_not_read;
    Record record(image_.data() + offset, kTarRecordSize);
    if (record[kChecksumField.offset] == 0)
        return tar_null_record;
    std::uint64_t stored_checksum = 0;
    if (!parse_octal(record, kChecksumField, stored_checksum)
        || stored_checksum != header_checksum(record))
        return tar_bad_checksum;

    TarHeader header;
    std::uint64_t mode = 0;
    std::uint64_t owner = 0;
    if (!parse_octal(record, kModeField, mode) || !parse_octal(record, kOwnerField, owner)
        || !parse_octal(record, kSizeField, header.size)
        || !parse_octal(record, kMtimeField, header.mtime) || header.size > kMaxFileSize)
        return tar_could_not_read;
    const std::size_t kDataOffset = offset + kTarRecordSize;
    if (image_.size() - kDataOffset < header.size)
        return tar_could_not_read;
    header.mode = static_cast<std::uint32_t>(mode);
    header.owner = static_cast<std::uint32_t>(owner);
    header.name = field_text(record, kNameField);
    header.type = record[kTypeOffset] ? static_cast<char>(record[kTypeOffset]) : '0';
    header.link_name = field_text(record, kLinkField);

    header_ = std::move(header);
    header_offset_ = offset;
    has_header_ = true;
    return tar_success;
}

int TarImageReader::open()
{
    return read_header_at(0);
}

int TarImageReader::next()
{
    if (!has_header_)
        return tar_could_not_seek;
    // read_header_at made sure the data lies inside the image, so this cannot overflow.
    const std::uint64_t following = header_offset_ + kTarRecordSize + padded_size(header_.size);
    if (following > image_.size()) {
        has_header_ = false;
        return tar_could_not_read;
    }
    return read_header_at(static_cast<std::size_t>(following));
}

int TarImageReader::find(std::string_view name)
{
    int result = open();
    while (result == tar_success) {
        if (header_.name == name)
            return tar_success;
        result = next();
    }
    return result == tar_null_record ? tar_file_not_found : result;
}

int TarImageReader::read_data(std::span<const std::uint8_t>& data) const
{
    if (!has_header_)
        return tar_could_not_read;
    data = image_.subspan(header_offset_ + kTarRecordSize, header_.size);
    return tar_success;
}

int TarImageWriter::write_header(const TarHeader& header)
{
    std::array<std::uint8_t, kTarRecordSize> record {};
    const bool fits = put_text(record, kNameField, header.name)
        && put_octal(record, kModeField, header.mode)
        && put_octal(record, kOwnerField, header.owner)
        && put_octal(record, kSizeField, header.size)
        && put_octal(record, kMtimeField, header.mtime)
        && put_text(record, kLinkField, header.link_name);
    if (!fits)
        return tar_could_not_write;
    record[kTypeOffset] = static_cast<std::uint8_t>(header.type ? header.type : '0');
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%06o", header_checksum(record));
    std::memcpy(record.data() + kChecksumField.offset, checksum, 7);
    record[kChecksumField.offset + 7] = ' ';
    bytes_.insert(bytes_.end(), record.begin(), record.end());
    return tar_success;
}

int TarImageWriter::write_data(std::span<const std::uint8_t> data)
{
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    bytes_.resize(bytes_.size() + (padded_size(data.size()) - data.size()), 0);
    return tar_success;
}

int TarImageWriter::finish()
{
    bytes_.resize(bytes_.size() + 2 * kTarRecordSize, 0);
    return tar_success;
}

std::vector<std::uint8_t> make_single_file_tar(
    const std::string& name, std::span<const std::uint8_t> data, std::uint64_t mtime)
{
    TarHeader header;
    header.name = name;
    header.mode = kTarDefaultMode;
    header.size = data.size();
    header.mtime = mtime;
    TarImageWriter writer;
    if (writer.write_header(header) != tar_success)
        return {};
    writer.write_data(data);
    writer.finish();
    return writer.take();
}

} // namespace kovru
