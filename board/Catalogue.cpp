#include "board/Catalogue.h"

#include "board/Seams.h"
#include "storage/IsamFile.h"

#include <charconv>
#include <vector>

namespace Catalogue {

int32_t RecordNumberOf(const std::string &key)
{
    int32_t number = 0;
    const char *end = key.data() + key.size();
    const auto [stop, error] = std::from_chars(key.data(), end, number);
    return error == std::errc() && stop == end ? number : 0;
}

void WalkTexts(TIsamFile &isam, TField field, const std::function<void(const std::string &, int32_t)> &each)
{
    std::vector<char> record(field.End(), 0);
    while (isam.ReadNext(record.data(), NumberIndex))
        each(GetText(record.data(), field), RecordNumberOf(isam.LastKey()));
}

TRepaintPause::TRepaintPause(IItemList &list) : FList(list)
{
    FList.BeginUpdate();
}

TRepaintPause::~TRepaintPause()
{
    FList.EndUpdate();
}

} // namespace Catalogue
