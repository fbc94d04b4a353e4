#include "harvest/navfilters.h"

#include <bitset>

namespace {

// Most keywords contain none of the filters' first characters, so one table look-up per
// code unit rejects them; only a hit compares whole filter texts.
struct FirstUnitIndex
{
    std::bitset<65536> starts;

    FirstUnitIndex()
    {
        for (QStringView filter : NavFilters)
            starts.set(filter.front().unicode());
    }
};

const FirstUnitIndex &firstUnits()
{
    static const FirstUnitIndex index;
    return index;
}

} // namespace

bool containsNavFilter(QStringView item)
{
    const auto &starts = firstUnits().starts;
    const qsizetype size = item.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (!starts.test(item[i].unicode()))
            continue;
        const QStringView rest = item.sliced(i);
        for (QStringView filter : NavFilters) {
            if (rest.startsWith(filter))
                return true;
        }
    }
    return false;
}
