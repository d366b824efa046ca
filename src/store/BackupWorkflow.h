#pragma once
// The interactive halves of backing up and restoring a pad: what the save and open panels ask, and how
// an imported layout is staged into the model (lighting goes out on its own path, not with Apply).

#include "backup/LayoutImport.h"
#include "model/DeviceModel.h"
#include "model/Expected.h"
#include "platform/Desktop.h"

#include <functional>
#include <optional>
#include <string>

namespace keyglass {

SavePanelRequest backupSavePanel(const DeviceModel& model);
/// Opens in the automatic-backup folder when it exists.
OpenPanelRequest restorePanel(const DeviceModel& model);

struct StagedImport
{
    std::string toast;
    /// The file's lighting, when it differs from the pad's: written through the lighting path.
    std::optional<RGBState> lighting;
};

/// Runs `load` on a copy of `model` and, when it succeeds, makes the copy the staged model (keeping the
/// pad's current lighting in it). A failed load leaves `model` as it was.
Expected<StagedImport> stageImportedLayout(DeviceModel& model,
                                           const std::function<Expected<ImportResult>(DeviceModel&)>& load);

} // namespace keyglass
