// A stand-in for the engine, built as its own VBIS4032.DLL in a folder of its
// own. It keeps no records, only what the wrapper's own logic depends on.
#include "tests/storage/FakeEngine.h"

#include "vbis/Vbis4032.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TFakeEngineState state;

BSTR NewText(const std::string &text)
{
    return SysAllocStringByteLen(text.data(), uint32_t(text.size()));
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) TFakeEngineState *FakeEngineState()
{
    return &state;
}

int16_t VmxCreate(BSTR *path, int16_t *, int32_t *, int16_t *, int16_t *, BSTR *)
{
    ++state.Calls;
    if (!state.LoseCreateRace || *path == nullptr)
        return 0;
    if (FILE *definition = std::fopen((std::string(*path) + ".ism").c_str(), "w"))
        std::fclose(definition);
    return VBIS_NAME_IN_USE;
}

int16_t VmxOpen(BSTR *, int16_t *, int16_t *, int32_t *handle)
{
    ++state.Calls;
    *handle = 7;
    return 0;
}

int16_t VmxClose(int32_t *)
{
    ++state.Calls;
    return 0;
}

int16_t VmxGet(int32_t *, int16_t *, int16_t *readMode, BSTR *, BSTR *, BSTR *recordKey, void *)
{
    ++state.Calls;
    if (*readMode != VBIS_READ_PREVIOUS_KEY)
        return state.ReadAnswer;
    if (state.Highest == 0)
        return VBIS_NOT_FOUND;
    char key[32];
    std::snprintf(key, sizeof key, "%10.10lld", static_cast<long long>(state.Highest));
    *recordKey = NewText(key);
    return 0;
}

int16_t VmxPut(int32_t *, BSTR *recordKey, void *buffer, int16_t *mode)
{
    ++state.Calls;
    if (*mode != VBIS_PUT_ADD)
        return state.ReplaceAnswer;
    ++state.Adds;
    const long long number = *recordKey != nullptr ? std::atoll(*recordKey) : 0;
    if (number <= state.Highest)
        return VBIS_UPDATE_MODE;
    if (state.Races > 0) {
        --state.Races;
        state.Highest = number;
        return VBIS_UPDATE_MODE;
    }
    state.Highest = number;
    std::memcpy(&state.AddedFirstField, buffer, sizeof state.AddedFirstField);
    std::snprintf(state.AddedKey, sizeof state.AddedKey, "%s", *recordKey != nullptr ? *recordKey : "");
    return 0;
}

int16_t VmxDelete(int32_t *, BSTR *)
{
    ++state.Calls;
    return 0;
}

int16_t VmxBOF(int32_t *, int16_t *)
{
    ++state.Calls;
    return state.BofAnswer;
}

int16_t VmxEOF(int32_t *, int16_t *)
{
    ++state.Calls;
    return 0;
}

int16_t VmxInfo(int32_t *, TIsamInfoRec *info)
{
    ++state.Calls;
    info->keyLength = 10;
    info->text1 = NewText(state.Format);
    return 0;
}

int16_t VmxLock(int32_t *)
{
    return VBIS_UNAVAILABLE;
}
int16_t VmxUnlock(int32_t *)
{
    return VBIS_UNAVAILABLE;
}
int16_t VmxKill(BSTR *)
{
    return VBIS_UNAVAILABLE;
}
int16_t VmxReadNote(int32_t *, BSTR *)
{
    return VBIS_UNAVAILABLE;
}
int16_t VmxWriteNote(int32_t *, BSTR *)
{
    return VBIS_UNAVAILABLE;
}
#ifndef FAKE_ENGINE_PARTIAL
// The partial build lacks this one entry point, so it must not count as loaded.
int16_t VmxFetchField(int32_t *, int16_t *, BSTR *)
{
    return VBIS_UNAVAILABLE;
}
#endif

} // extern "C"
