#include "engine/server/ServerDataset.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "ServerSchema.h"
#include "vbis/Vbis4032.h"

namespace vbis::server {

namespace {

// Read-ahead: a walk from either end of an index reads it all, one from a
// record a few; each next batch is larger, up to what fits in
// kMostAheadBytes. Over the network a batch is one round trip and one sort or
// index scan of the server, so the batches are what a walk waits for.
constexpr std::size_t kFirstAhead = 32;
constexpr std::size_t kAheadGrowth = 8;
constexpr std::size_t kMostAheadBytes = 4u << 20;
// Adds under a key the engine chooses, tried again when another workstation
// filed under the same key at the same moment.
constexpr int kAddAttempts = 32;
constexpr std::size_t kMostNameLength = 40;

// Every write of the process, through any handle: a batch read before the
// last of them is not served any more.
std::atomic<uint64_t> gWrites{0};

std::string Quoted(std::string_view text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

std::string TableOf(const std::string &name)
{
    return "kiv.\"ds_" + name + "\"";
}

} // namespace

bool IsDatasetName(std::string_view name)
{
    if (name.empty() || name.size() > kMostNameLength)
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

int16_t TServerDataset::Create(const std::string &uri, const std::string &name, int keyLength, std::string_view format)
{
    if (!IsDatasetName(name) || keyLength < kMinKeyLength || keyLength > kMaxKeyLength)
        return VBIS_BAD_PARAMETER;
    const std::optional<TRecordFormat> parsed = TRecordFormat::Parse(format);
    if (!parsed)
        return VBIS_BAD_FORMAT;
    // The name and format are checked above to hold nothing that needs
    // quoting in a statement; they are quoted all the same.
    const std::string table = TableOf(name);
    std::string sql = "INSERT INTO kiv.datasets(name, key_length, format) VALUES (" + Quoted(name) + ", "
                      + std::to_string(keyLength) + ", " + Quoted(parsed->Text()) + ");" + "CREATE TABLE " + table
                      + "(k bytea PRIMARY KEY, rec bytea NOT NULL";
    const auto &fields = parsed->Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Indexed)
            sql += ", x" + std::to_string(i + 1)
                   + (fields[i].Kind == TFieldKind::Text ? " bytea NOT NULL" : " smallint NOT NULL");
    sql += ");";
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Indexed) {
            const std::string n = std::to_string(i + 1);
            sql += "CREATE INDEX \"ds_" + name + "_x" + n + "\" ON " + table + "(x" + n + ", k);";
        }
    // A dataset made counts as a change of it, as a file appearing does.
    sql += "INSERT INTO kiv.changes AS c(dataset, counter) VALUES (" + Quoted(name)
           + ", 1) ON CONFLICT (dataset) DO UPDATE SET counter = c.counter + 1;"
             "SELECT pg_notify("
           + Quoted(kivserver::kChangesChannel) + ", " + Quoted(name) + ");";
    std::string state;
    const int16_t code = TLink::For(uri)->RunScript(sql, &state);
    // Its row or its table is there: made before, or by another workstation
    // at the same moment. The one transaction leaves nothing of this create.
    if (state == "23505" || state == "42P07")
        return VBIS_NAME_IN_USE;
    return code;
}

int16_t TServerDataset::Open(const std::string &uri, const std::string &name, std::unique_ptr<TDatasetApi> &out)
{
    if (!IsDatasetName(name))
        return VBIS_BAD_PARAMETER;
    std::shared_ptr<TLink> link = TLink::For(uri);
    TResult result;
    std::string state;
    // With the number of records, which a caller asks at once after an open
    // (to learn the layout): one round trip for both.
    const int16_t code = link->Run("SELECT d.key_length, d.format, (SELECT count(*) FROM " + TableOf(name)
                                       + ") FROM kiv.datasets d WHERE d.name = $1::text",
                                   TParams().Bytes(name), result, &state, true);
    if (state == "42P01")
        return VBIS_NOT_FOUND; // no table of that name
    if (code != VBIS_OK)
        return code;
    if (result.Rows() == 0)
        return VBIS_NOT_FOUND;
    const int64_t keyLength = result.Integer(0, 0);
    std::optional<TRecordFormat> format = TRecordFormat::Parse(result.Bytes(0, 1));
    if (!format || keyLength < kMinKeyLength || keyLength > kMaxKeyLength)
        return VBIS_CORRUPTED;
    auto *dataset = new TServerDataset(std::move(link), name, TDefinition{int(keyLength), std::move(*format)});
    out.reset(dataset);
    dataset->FOpenCount = result.Integer(0, 2);
    dataset->FOpenWrites = gWrites.load();
    return VBIS_OK;
}

TServerDataset::TServerDataset(std::shared_ptr<TLink> link, std::string name, TDefinition definition)
    : FLink(std::move(link)), FName(std::move(name)), FTable(TableOf(FName)), FDefinition(std::move(definition))
{
}

std::string TServerDataset::Column(int index) const
{
    return index == 0 ? "k" : "x" + std::to_string(index);
}

bool TServerDataset::TextIndex(int index) const
{
    return index == 0 || FDefinition.Format.FieldOfIndex(index).Kind == TFieldKind::Text;
}

std::string TServerDataset::CastOf(int index) const
{
    return TextIndex(index) ? "::bytea" : "::int2";
}

void TServerDataset::AddValue(TParams &params, const TIndexValue &value) const
{
    if (value.IsText)
        params.Bytes(value.Text);
    else
        params.Int2(value.Integer);
}

int16_t TServerDataset::KeyValue(int index, std::string_view key, TIndexValue &value) const
{
    return KeyValueOf(FDefinition.Format, index, key, value) ? int16_t(VBIS_OK) : int16_t(VBIS_BAD_PARAMETER);
}

TIndexValue TServerDataset::ValueAt(const TResult &result, int row, int column, int index) const
{
    TIndexValue value;
    value.IsText = TextIndex(index);
    if (value.IsText)
        value.Text.assign(result.Bytes(row, column));
    else
        value.Integer = result.Integer(row, column);
    return value;
}

int16_t TServerDataset::ReadEqual(int index, std::string_view key, std::string &foundKey, unsigned char *buffer)
{
    TIndexValue value;
    int16_t code = KeyValue(index, key, value);
    if (code != VBIS_OK)
        return code;
    const std::string v = Column(index);
    TParams params;
    AddValue(params, value);
    code = FLink->Run("SELECT k, rec, " + v + " FROM " + FTable + " WHERE " + v + " = $1" + CastOf(index) + " ORDER BY "
                          + v + ", k LIMIT 1",
                      params, FBatch, nullptr, true);
    if (code != VBIS_OK)
        return code;
    if (FBatch.Rows() == 0)
        return VBIS_NOT_FOUND;
    FBatchNext = 0;
    return Hand(index, foundKey, buffer, false);
}

int16_t TServerDataset::ReadAhead(int index, bool forward, std::size_t count)
{
    const std::string v = Column(index);
    std::string sql = "SELECT k, rec, " + v + " FROM " + FTable;
    TParams params;
    if (FPlace == TPlace::OnRecord) {
        // A keyset seek from the remembered place: one index range scan.
        const char *op = forward ? " > " : " < ";
        if (index == 0) {
            sql += std::string(" WHERE k") + op + "$1::bytea";
        } else {
            sql += " WHERE (" + v + ", k)" + op + "($1" + CastOf(index) + ", $2::bytea)";
            AddValue(params, FValue);
        }
        params.Bytes(FKey);
    }
    const std::string desc = forward ? "" : " DESC";
    sql += index == 0 ? " ORDER BY k" + desc : " ORDER BY " + v + desc + ", k" + desc;
    sql += " LIMIT " + std::to_string(count);
    const int16_t code = FLink->Run(sql, params, FBatch, nullptr, true);
    if (code != VBIS_OK)
        return code;
    FBatchActive = true;
    FBatchIndex = index;
    FBatchForward = forward;
    FBatchWrites = gWrites.load();
    FBatchLast = std::size_t(FBatch.Rows()) < count;
    FBatchNext = 0;
    FBatchSize = count;
    return VBIS_OK;
}

int16_t TServerDataset::Hand(int index, std::string &foundKey, unsigned char *buffer, bool keyOnly)
{
    const int row = int(FBatchNext);
    // A key or record no sound row has is answered as corrupted, leaving the
    // buffer and the position as they were.
    const std::string_view key = FBatch.Bytes(row, 0);
    if (key.empty() || key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_CORRUPTED;
    if (!keyOnly) {
        const std::string_view record = FBatch.Bytes(row, 1);
        if (record.size() != FDefinition.Format.RecordLength())
            return VBIS_CORRUPTED;
        std::memcpy(buffer, record.data(), record.size());
    }
    FIndex = index;
    FPlace = TPlace::OnRecord;
    FKey.assign(key);
    FValue = index == 0 ? TIndexValue{true, FKey, 0} : ValueAt(FBatch, row, 2, index);
    foundKey = FKey;
    ++FBatchNext;
    return VBIS_OK;
}

int16_t TServerDataset::Get(int index, int readMode, std::string_view key, std::string &foundKey, unsigned char *buffer)
{
    if (!FDefinition.Format.IsIndex(index))
        return VBIS_BAD_PARAMETER;
    if (readMode == VBIS_READ_EQUAL) {
        FBatchActive = false;
        return ReadEqual(index, key, foundKey, buffer);
    }
    if (readMode != VBIS_READ_NEXT && readMode != VBIS_READ_PREVIOUS && readMode != VBIS_READ_PREVIOUS_KEY)
        return VBIS_BAD_PARAMETER;

    const bool forward = readMode == VBIS_READ_NEXT;
    const bool keyOnly = readMode == VBIS_READ_PREVIOUS_KEY;
    int16_t code;
    if (FPlace == TPlace::OnRecord && FIndex != index) {
        // Going on along another index: from the current record's place in it.
        FBatchActive = false;
        TResult result;
        if ((code = FLink->Run("SELECT " + Column(index) + " FROM " + FTable + " WHERE k = $1::bytea",
                               TParams().Bytes(FKey), result, nullptr, true))
            != VBIS_OK)
            return code;
        if (result.Rows() == 0)
            return VBIS_NOT_FOUND;
        FValue = ValueAt(result, 0, 0, index);
        FIndex = index;
    }
    if (FPlace == (forward ? TPlace::AfterLast : TPlace::BeforeFirst))
        return VBIS_NOT_FOUND;

    // The batch goes on serving only the walk it was read for, and only
    // while the process wrote nothing since.
    const bool going =
        FBatchActive && FBatchIndex == index && FBatchForward == forward && FBatchWrites == gWrites.load() && !keyOnly;
    if (going && FBatchNext < std::size_t(FBatch.Rows()))
        return Hand(index, foundKey, buffer, keyOnly);
    if (!going || !FBatchLast) {
        const std::size_t most =
            std::max(kFirstAhead, kMostAheadBytes / std::max<std::size_t>(1, FDefinition.Format.RecordLength()));
        // Every walk from an end of an index reads it to the other end (a
        // board, a catalogue): it is read in as few batches as memory allows.
        std::size_t count = FPlace == TPlace::OnRecord ? kFirstAhead : most;
        if (keyOnly)
            count = 1; // a key-only read looks for one key (the last, for a new key)
        else if (going)
            count = FBatchSize * kAheadGrowth;
        count = std::min(count, most);
        FBatchActive = false;
        if ((code = ReadAhead(index, forward, count)) != VBIS_OK)
            return code;
        if (FBatch.Rows() > 0) {
            code = Hand(index, foundKey, buffer, keyOnly);
            if (keyOnly)
                FBatchActive = false;
            return code;
        }
    }
    // Past the end: a read the other way starts again from this end.
    PlaceAtEnd(index, forward ? TPlace::AfterLast : TPlace::BeforeFirst);
    return VBIS_NOT_FOUND;
}

void TServerDataset::RecordParams(TParams &params, std::string_view key, const unsigned char *buffer) const
{
    const TRecordFormat &format = FDefinition.Format;
    params.Bytes(key).Bytes(std::string_view(reinterpret_cast<const char *>(buffer), format.RecordLength()));
    for (const TField &field : format.Fields())
        if (field.Indexed)
            AddValue(params, FieldValue(field, buffer));
}

int16_t TServerDataset::Write(const std::string &change, TParams params, bool &changed)
{
    // Whatever comes of it, no batch read before it is served afterwards.
    FBatchActive = false;
    gWrites.fetch_add(1);
    // One statement, so one transaction: the change, the dataset's counter
    // (only when a record changed) and the notice, which the server sends
    // at commit.
    const std::string sql = "WITH changed AS (" + change
                            + " RETURNING 1),"
                              " bump AS (INSERT INTO kiv.changes AS c(dataset, counter) SELECT $1::text, 1 FROM changed"
                              " ON CONFLICT (dataset) DO UPDATE SET counter = c.counter + 1 RETURNING 1)"
                              " SELECT pg_notify("
                            + Quoted(kivserver::kChangesChannel) + ", $1::text) FROM bump";
    TResult result;
    const int16_t code = FLink->Run(sql, params, result);
    changed = code == VBIS_OK && result.Rows() > 0;
    return code;
}

int16_t TServerDataset::NextKey(std::string &key)
{
    TResult result;
    const int16_t code =
        FLink->Run("SELECT k FROM " + FTable + " ORDER BY k DESC LIMIT 1", TParams(), result, nullptr, true);
    if (code != VBIS_OK)
        return code;
    const std::string highest = result.Rows() == 0 ? std::string("0") : std::string(result.Bytes(0, 0));
    // The highest key is no number to count on from, or the key space is used up.
    return NextRecordKey(highest, FDefinition.KeyLength, key) ? int16_t(VBIS_OK) : int16_t(VBIS_ILLEGAL_KEY);
}

int16_t TServerDataset::Add(std::string &key, const unsigned char *buffer)
{
    if (key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_BAD_PARAMETER;
    std::string names = "k, rec", values = "$2::bytea, $3::bytea";
    int n = 4;
    const auto &fields = FDefinition.Format.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Indexed) {
            names += ", x" + std::to_string(i + 1);
            values += ", $" + std::to_string(n++) + (fields[i].Kind == TFieldKind::Text ? "::bytea" : "::int2");
        }
    // A key that is already there: nothing is overwritten.
    const std::string insert =
        "INSERT INTO " + FTable + "(" + names + ") VALUES (" + values + ") ON CONFLICT (k) DO NOTHING";
    const bool choose = key.empty();
    for (int attempt = 0; attempt < kAddAttempts; ++attempt) {
        std::string filed = key;
        int16_t code;
        if (choose && (code = NextKey(filed)) != VBIS_OK)
            return code;
        TParams params;
        params.Bytes(FName);
        RecordParams(params, filed, buffer);
        bool changed = false;
        if ((code = Write(insert, std::move(params), changed)) != VBIS_OK)
            return code;
        if (changed) {
            key = std::move(filed);
            return VBIS_OK;
        }
        if (!choose)
            return VBIS_UPDATE_MODE;
        // Another workstation filed under the key chosen a moment ago.
    }
    return int16_t(kivserver::kCodeBusy);
}

int16_t TServerDataset::Replace(std::string_view key, const unsigned char *buffer)
{
    if (key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_BAD_PARAMETER;
    if (key.empty())
        return VBIS_NOT_FOUND;
    std::string update = "UPDATE " + FTable + " SET rec = $3::bytea";
    int n = 4;
    const auto &fields = FDefinition.Format.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Indexed)
            update += ", x" + std::to_string(i + 1) + " = $" + std::to_string(n++)
                      + (fields[i].Kind == TFieldKind::Text ? "::bytea" : "::int2");
    update += " WHERE k = $2::bytea";
    TParams params;
    params.Bytes(FName);
    RecordParams(params, key, buffer);
    bool changed = false;
    const int16_t code = Write(update, std::move(params), changed);
    return code != VBIS_OK ? code : changed ? int16_t(VBIS_OK) : int16_t(VBIS_NOT_FOUND);
}

int16_t TServerDataset::Erase(std::string_view key)
{
    if (key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_BAD_PARAMETER;
    if (key.empty())
        return VBIS_NOT_FOUND;
    TParams params;
    params.Bytes(FName).Bytes(key);
    bool changed = false;
    const int16_t code = Write("DELETE FROM " + FTable + " WHERE k = $2::bytea", std::move(params), changed);
    return code != VBIS_OK ? code : changed ? int16_t(VBIS_OK) : int16_t(VBIS_NOT_FOUND);
}

int16_t TServerDataset::PlaceAtEnd(int index, TPlace place)
{
    if (!FDefinition.Format.IsIndex(index))
        return VBIS_BAD_PARAMETER;
    FBatchActive = false;
    FIndex = index;
    FPlace = place;
    FKey.clear();
    FValue = TIndexValue{};
    return VBIS_OK;
}

int16_t TServerDataset::GotoTop(int index)
{
    return PlaceAtEnd(index, TPlace::BeforeFirst);
}

int16_t TServerDataset::GotoBottom(int index)
{
    return PlaceAtEnd(index, TPlace::AfterLast);
}

int16_t TServerDataset::Info(int32_t &recordCount, int16_t &keyLength)
{
    keyLength = int16_t(FDefinition.KeyLength);
    // The count the open read serves the first ask after it, unless this
    // process wrote since.
    const int64_t atOpen = FOpenCount;
    FOpenCount = -1;
    if (atOpen >= 0 && FOpenWrites == gWrites.load()) {
        recordCount = atOpen > INT32_MAX ? INT32_MAX : int32_t(atOpen);
        return VBIS_OK;
    }
    TResult result;
    const int16_t code = FLink->Run("SELECT count(*) FROM " + FTable, TParams(), result, nullptr, true);
    if (code != VBIS_OK)
        return code;
    const int64_t count = result.Rows() == 1 ? result.Integer(0, 0) : 0;
    recordCount = count > INT32_MAX ? INT32_MAX : int32_t(count);
    return VBIS_OK;
}

} // namespace vbis::server
