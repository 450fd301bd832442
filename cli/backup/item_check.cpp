#include "cli/backup/item_check.h"

#include "cli/backup/tar_image.h"
#include "cli/json/json_pull.h"
#include "cli/log/log.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr const char* kTag = "backup";
constexpr std::string_view kStatusName = "status.txt";
constexpr int kCheckStatusMissing = 2;
constexpr int kCheckTooFewFiles = 3;

std::optional<std::string>* status_field(FetchedItem& item, std::string_view key)
{
    if (key == "model_name")
        return &item.model_name;
    if (key == "firmware_version")
        return &item.firmware_version;
    if (key == "serial_number")
        return &item.serial_number;
    if (key == "mac")
        return &item.mac;
    return nullptr;
}

// Prints each file of the image; the walk's error code, or 0 when it reached the end marker.
int list_image(const MemoryBuffer& image, int& file_count)
{
    print_out("%s\tbackup file contains: \r\n", kTag);
    TarImageReader reader(image);
    int step = reader.open();
    for (file_count = 0; step == tar_success; step = reader.next(), ++file_count)
        print_out("\t%s (%d bytes)\r\n", reader.header().name.c_str(),
            static_cast<int>(reader.header().size));
    if (step == tar_null_record)
        return 0;
    print_out("\tfile error %d.\r\n", step);
    return step;
}

void print_status_texts(const FetchedItem& item)
{
    auto text
        = [](const std::optional<std::string>& value) { return value ? value->c_str() : "(null)"; };
    print_out("%s\tmodel name: %s\r\n", kTag, text(item.model_name));
    print_out("%s\tfirmware version: %s\r\n", kTag, text(item.firmware_version));
    print_out("%s\tserial number: %s\r\n", kTag, text(item.serial_number));
    print_out("%s\tmac: %s\r\n", kTag, text(item.mac));
}

// 0 when "status.txt" was found and read, else kCheckStatusMissing.
int read_status_file(FetchedItem& item)
{
    TarImageReader reader(item.image);
    std::span<const std::uint8_t> data;
    if (reader.find(kStatusName) != tar_success) {
        print_out("%s\terror status.txt file not found.\r\n", kTag);
        log_error("Error, status.txt file not found.");
        return kCheckStatusMissing;
    }
    if (reader.header().size == 0) {
        print_out("%s\terror status.txt file size error.\r\n", kTag);
        log_error("Error, status.txt file size error.");
        return kCheckStatusMissing;
    }
    if (reader.read_data(data) != tar_success) {
        print_out("%s\terror reading status.txt.\r\n", kTag);
        log_error("Error reading status.txt.");
        return kCheckStatusMissing;
    }
    read_item_status({ reinterpret_cast<const char*>(data.data()), data.size() }, item);
    print_status_texts(item);
    return 0;
}

} // namespace

void read_item_status(std::string_view document, FetchedItem& item)
{
    JsonPullReader reader(document);
    int depth = 0;
    bool expect_key = true;
    std::optional<std::string>* pending = nullptr;
    for (;;) {
        const JsonToken token = reader.next();
        switch (token) {
        case JsonToken::object_start:
        case JsonToken::array_start:
            if (depth == 1 && !expect_key) {
                pending = nullptr;
                expect_key = true;
            }
            ++depth;
            break;
        case JsonToken::object_end:
        case JsonToken::array_end:
            if (--depth <= 0)
                return;
            break;
        case JsonToken::string:
            if (depth != 1)
                break;
            if (expect_key) {
                pending = status_field(item, reader.text());
            } else if (pending) {
                *pending = reader.text();
                pending = nullptr;
            }
            expect_key = !expect_key;
            break;
        case JsonToken::number:
        case JsonToken::true_value:
        case JsonToken::false_value:
        case JsonToken::null_value:
            if (depth == 1 && !expect_key) {
                pending = nullptr;
                expect_key = true;
            }
            break;
        case JsonToken::end:
        case JsonToken::error:
            return;
        }
    }
}

int check_item_image(FetchedItem& item)
{
    int file_count = 0;
    int result = list_image(item.image, file_count);
    if (int status = read_status_file(item); status != 0)
        result = status;
    if (file_count < 2)
        result = kCheckTooFewFiles;
    return result;
}

} // namespace kovru
