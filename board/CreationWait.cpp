#include "board/CreationWait.h"

#include "platform/Files.h"
#include "storage/IsamFile.h"
#include "vbis/Vbis4032.h"

#include <chrono>
#include <thread>

namespace {

// How long an open waits for another workstation to finish creating the
// dataset, and the pause between two looks. The bound is on the time, not on
// the looks, because the engine may itself wait a moment inside each open.
constexpr auto kCreationWait = std::chrono::seconds(3);
constexpr auto kCreationPause = std::chrono::milliseconds(20);

} // namespace

bool OpenDatasetBeingCreated(TIsamFile &isam, const std::string &path, int16_t mode, const std::string &format)
{
    const auto giveUp = std::chrono::steady_clock::now() + kCreationWait;
    for (;;) {
        // Looked at before the open: the creator may finish in between, and
        // an open that failed on half a definition is no sign of damage.
        const bool hadData = FileExists(path + ".isd");
        if (isam.OpenDataset(path, mode, format))
            return true;
        const int16_t code = isam.LastError();
        const bool beingCreated =
            (code == VBIS_CORRUPTED || code == VBIS_NOT_ISAM) && !hadData && FileExists(path + ".ism");
        if (!beingCreated || std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(kCreationPause);
    }
}
