// The configuration tar image: a stream of 512-byte records in which the controller delivers
// each configuration item and accepts configuration files back. Read and written in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kovru {

enum TarResult {
    tar_success = 0,
    tar_failure = -1,
    tar_could_not_open = -2,
    tar_could_not_read = -3, // also: a header or data range runs past the end of the image
    tar_could_not_write = -4,
    tar_could_not_seek = -5,
    tar_bad_checksum = -6,
    tar_null_record = -7, // the end marker
    tar_file_not_found = -8,
};

const char* tar_error_text(int code);

inline constexpr std::size_t kTarRecordSize = 512;
inline constexpr unsigned kTarDefaultMode = 0664;

struct TarHeader {
    std::string name;
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint64_t size = 0;
    std::uint64_t mtime = 0;
    char type = '0';
    std::string link_name;
};

// Walks the headers of an image held by the caller. Every header and data range is checked
// against the image, so a truncated or hostile image gives an error and is never read past.
class TarImageReader {
public:
    explicit TarImageReader(std::span<const std::uint8_t> image)
        : image_(image)
    {
    }

    // Reads the first header.
    int open();
    // Steps over the current file's data to the following header and reads it.
    int next();
    // From the first header on, the first file whose whole name field equals name.
    int find(std::string_view name);
    // The current file's data (size bytes after its header).
    int read_data(std::span<const std::uint8_t>& data) const;

    const TarHeader& header() const { return header_; }

private:
    int read_header_at(std::size_t offset);

    std::span<const std::uint8_t> image_;
    std::size_t header_offset_ = 0;
    bool has_header_ = false;
    TarHeader header_;
};

// Appends records to a growable buffer whose length is the written length.
class TarImageWriter {
public:
    int write_header(const TarHeader& header);
    // The data of the file whose header came last; padded with zeros to whole records.
    int write_data(std::span<const std::uint8_t> data);
    // The two zero records that end the stream.
    int finish();

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// A whole image holding one file; empty when the name or size does not fit a header.
std::vector<std::uint8_t> make_single_file_tar(
    const std::string& name, std::span<const std::uint8_t> data, std::uint64_t mtime);

} // namespace kovru
