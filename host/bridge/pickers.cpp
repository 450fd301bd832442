#include "host/bridge/pickers.h"

namespace kovrkit {

std::optional<std::string> pickBackupFolder(Dialogs& dialogs)
{
    std::optional<std::string> folder = dialogs.chooseFolder("Select backup destination folder");
    if (folder && folder->empty())
        return std::nullopt;
    return folder;
}

std::optional<std::string> pickRestoreArchive(Dialogs& dialogs)
{
    static const FileDialogRequest request {
        { { "ZIP Files (*.zip)", "*.zip" }, { "All Files (*.*)", "*.*" } }, ""
    };
    return dialogs.chooseOpenFile(request);
}

std::optional<std::string> pickFirmwareFile(Dialogs& dialogs)
{
    static const FileDialogRequest request {
        { { "Firmware Files (*.bin)", "*.bin" }, { "All Files (*.*)", "*.*" } }, ""
    };
    return dialogs.chooseOpenFile(request);
}

} // namespace kovrkit
