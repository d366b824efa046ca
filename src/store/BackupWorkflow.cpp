#include "store/BackupWorkflow.h"

#include "backup/DeviceBackupFile.h"
#include "platform/Paths.h"

#include <filesystem>

namespace keyglass {

SavePanelRequest backupSavePanel(const DeviceModel& model)
{
    SavePanelRequest request;
    request.title = "Back Up " + model.displayName() + " Layout";
    request.proposedFileName = proposedBackupFileName(model);
    request.allowedExtensions = {"json"};
    return request;
}

OpenPanelRequest restorePanel(const DeviceModel& model)
{
    OpenPanelRequest request;
    request.title = "Restore Layout to " + model.displayName();
    request.message = "Select a Keyglass backup (.json), auto-backup, VIA snapshot (.json), or Vial layout (.vil)";
    std::error_code ec;
    if (std::filesystem::is_directory(paths::autoBackupDir(), ec))
        request.directory = paths::autoBackupDir();
    return request;
}

Expected<StagedImport> stageImportedLayout(DeviceModel& model,
                                           const std::function<Expected<ImportResult>(DeviceModel&)>& load)
{
    DeviceModel staged = model;
    auto imported = load(staged);
    if (!imported)
        return unexpected(imported.error());
    StagedImport result{imported->toast, std::nullopt};
    if (staged.rgb != model.rgb && model.rgb.kind != RGBProtocolKind::none)
        result.lighting = staged.rgb;
    staged.rgb = model.rgb;
    model = std::move(staged);
    return result;
}

} // namespace keyglass
