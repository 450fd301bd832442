#include "fakes/firmware_files.h"

#include "cli/firmware/firmware_package.h"
#include "fakes/sim_process.h"
#include "sim/firmware_image.h"
#include "sim/sha256.h"

#include <fstream>

namespace kovru::testing {

std::vector<std::uint8_t> controller_image(
    std::size_t size, const std::string& model, const std::string& version)
{
    return sim::make_flash_raw(size, model, version, model + version + std::to_string(size));
}

void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

std::string sha256_text(const std::vector<std::uint8_t>& image)
{
    return sim::sha256_hex(image);
}

std::vector<std::string> aes256_options()
{
    return { "-mem=AES256", std::string("-p") + kFirmwarePackagePassword };
}

bool seven_zip(const std::filesystem::path& folder, const std::string& package,
    const std::vector<std::string>& options, const std::vector<std::string>& entries)
{
    std::vector<std::string> arguments { "a", "-tzip", "-bd", "-y" };
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back((folder / package).string());
    for (const std::string& entry : entries)
        arguments.push_back((folder / entry).string());
    return run_program("/usr/bin/7z", arguments).exit_status == 0;
}

std::filesystem::path make_package(const std::filesystem::path& folder, const std::string& name,
    const std::vector<std::uint8_t>& image, const std::string& digest_text,
    const std::vector<std::string>& options)
{
    std::filesystem::path entries = folder / (name + ".entries");
    std::filesystem::create_directories(entries);
    write_bytes(entries / "kovru.binary", image);
    write_bytes(entries / "kovru.bh", { digest_text.begin(), digest_text.end() });
    std::filesystem::remove(folder / name);
    seven_zip(folder, name, options.empty() ? aes256_options() : options,
        { (entries / "kovru.bh").string(), (entries / "kovru.binary").string() });
    return folder / name;
}

} // namespace kovru::testing
