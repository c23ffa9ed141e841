// Opening a dataset that another workstation may be creating at this moment.
#pragma once

#include <cstdint>
#include <string>

class TIsamFile;

/// Opens the dataset path in mode, when its format string is format. While another workstation is creating it,
/// its definition file is there before its data file, and the engine calls
/// that a foreign or corrupted dataset; the open is then tried again for a
/// bounded while (about three seconds) until the creator has finished. A damaged
/// dataset whose data file is there fails at once. False, with the engine's
/// code in isam, when it cannot be opened.
bool OpenDatasetBeingCreated(TIsamFile &isam, const std::string &path, int16_t mode, const std::string &format);
