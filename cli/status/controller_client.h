// Every HTTP request kovru-cli makes to a controller's "/api/v100" interface, and the TFTP
// upload of an in-memory image that each push uses before asking the controller to act on it.
#pragma once

#include "cli/status/controller_status.h"
#include "common/memory_buffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

// "http://" + the controller address as typed (host or address, optional ":port").
std::string base_url(std::string_view address);

// GET /api/v100/status.ssi, read into status. 0 when the document held a "model_name".
int fetch_status(const std::string& base_url, ControllerStatus& status);

// Reads a status document; true when it held a string "model_name".
bool read_status_document(std::string_view body, ControllerStatus& status);

// GET /api/v100/backup.ssi?config=NAME with up to five attempts, 1000 ms apart, appending
// the answer to out. 0 when an answer arrived (the caller checks its content), else 1.
int fetch_item_bytes(const std::string& base_url, const std::string& item_name, MemoryBuffer& out);

// TFTP PUT of the image as "flashraw.bin" to tftp://address/. The image is not changed.
int upload_image(const std::string& address, std::span<const std::uint8_t> image,
                 bool report_progress);

// The requests that make the controller act on the uploaded "flashraw.bin".
int request_restore(const std::string& base_url);
int request_firmware_upgrade(const std::string& base_url,
                             std::span<const std::uint8_t, 32> sha256, std::size_t size);
int request_d2fw_upgrade(const std::string& base_url, std::span<const std::uint8_t, 32> sha256,
                         std::size_t size);

// 64 lowercase hexadecimal digits.
std::string digest_hex(std::span<const std::uint8_t, 32> sha256);

} // namespace kovru
