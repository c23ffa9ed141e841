#include "board/CreationWait.h"

#include "platform/FileSystem.h"
#include "storage/IsamFile.h"
#include "storage/Vbis4032.h"

#include <chrono>
#include <thread>

namespace {

// How long an open waits for another workstation to finish creating the
// dataset: 150 looks 20 ms apart, three seconds in all.
constexpr int kCreationWaits = 150;
constexpr int kCreationPauseMs = 20;

} // namespace

bool OpenDatasetBeingCreated(TIsamFile &isam, const std::string &path, int16_t mode)
{
    for (int attempt = 1;; ++attempt) {
        // Looked at before the open: the creator may finish in between, and
        // an open that failed on half a definition is no sign of damage.
        const bool hadData = FileExists(path + ".isd");
        if (isam.OpenDataset(path, mode))
            return true;
        const int16_t code = isam.LastError();
        const bool beingCreated = (code == VBIS_CORRUPTED || code == VBIS_NOT_ISAM) && !hadData
                                  && FileExists(path + ".ism");
        if (!beingCreated || attempt >= kCreationWaits)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kCreationPauseMs));
    }
}
