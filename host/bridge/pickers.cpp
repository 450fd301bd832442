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

std::optional<std::string> pickDeviceFirmwareFile(Dialogs& dialogs)
{
    static const FileDialogRequest request {
        { { "DALI Device Firmware Files (*.d2fw)", "*.d2fw" }, { "All Files (*.*)", "*.*" } }, ""
    };
    return dialogs.chooseOpenFile(request);
}

std::optional<std::string> pickExportFolder(Dialogs& dialogs)
{
    std::optional<std::string> folder
        = dialogs.chooseFolder("Select the folder for the exported DALI lines");
    if (folder && folder->empty())
        return std::nullopt;
    return folder;
}

std::optional<std::string> pickCsvFile(Dialogs& dialogs)
{
    static const FileDialogRequest request {
        { { "CSV Files (*.csv)", "*.csv" }, { "All Files (*.*)", "*.*" } }, ""
    };
    return dialogs.chooseOpenFile(request);
}

} // namespace kovrkit
