#include "host/bridge/app_info_command_table.h"

#include "host/bridge/outgoing_messages.h"

namespace kovrkit {

static AppInfo appInfoOf(const AppIdentity& identity)
{
    AppInfo info;
    info.version = readFileVersion(identity);
    info.productName = readVersionString(identity, "ProductName");
    info.windowTitle = readVersionString(identity, "WindowTitle");
    info.copyright = readVersionString(identity, "LegalCopyright");
    info.website = readVersionString(identity, "Website");
    if (info.windowTitle.empty())
        info.windowTitle = info.productName;
    return info;
}

CommandTable appInfoCommands(
    const AppIdentity& identity, UiReplySink& sink, std::function<void()> afterAppInfo)
{
    return {
        { "getAppInfo",
            [&identity, &sink, afterAppInfo = std::move(afterAppInfo)](const nlohmann::json&) {
                sink.sendToUi(appInfoLoadedMessage(appInfoOf(identity)));
                if (afterAppInfo)
                    afterAppInfo();
            } },
    };
}

} // namespace kovrkit
