// Any bytes as a Wine registry file ("user.reg" or "system.reg"), read as the legacy detection
// reads it and searched for the legacy tool's uninstall entry. Every key listed as a sub-key
// is found, and string unescaping never uses more bytes than it was given.
#include "host/legacy/uninstall_detection.h"
#include "host/legacy/wine_registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// Walks the tree below `path` as the uninstall scan does, a few levels down.
void walk(const kovrkit::RegistryHive& hive, const std::string& path, int depth)
{
    if (depth == 0)
        return;
    for (const std::string& name : hive.subKeyNames(path)) {
        const std::string child = path + "\\" + name;
        check(hive.findKey(child) != nullptr);
        walk(hive, child, depth - 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kovrkit;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const RegistryHive hive = RegistryHive::parse(text);
    (void)detectLegacyInstall(hive, hive);
    walk(hive, "Software", 6);
    for (RegistryView view : { RegistryView::Bits64, RegistryView::Bits32 }) {
        const std::string path(uninstallKeyPath(view));
        for (const std::string& name : hive.subKeyNames(path)) {
            const RegistryKey* key = hive.findKey(path + "\\" + name);
            if (key)
                (void)readRegistryText(*key, "DisplayName");
        }
    }

    for (char end : { '"', ']' }) {
        const WineString unescaped = unescapeWineString(text, end);
        check(unescaped.used <= size);
        if (unescaped.closed)
            check(unescaped.used >= 1 && text[unescaped.used - 1] == end);
    }
    return 0;
}
