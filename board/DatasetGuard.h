// Every data operation closes its dataset before it returns, on every path.
#pragma once

#include "storage/IsamFile.h"

/// Closes the dataset of an instance, if open, when the guard goes.
class TDatasetGuard {
public:
    explicit TDatasetGuard(TIsamFile &isam) : FIsam(isam) {}
    ~TDatasetGuard()
    {
        if (FIsam.IsOpen())
            FIsam.CloseDataset();
    }
    TDatasetGuard(const TDatasetGuard &) = delete;
    TDatasetGuard &operator=(const TDatasetGuard &) = delete;

private:
    TIsamFile &FIsam;
};
