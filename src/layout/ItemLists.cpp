#include "layout/ItemLists.h"

namespace mae {

std::u16string ConsolidatedItemList() {
    std::u16string list = u"20,220,380,390,400,410,440,522,523,820,830,1200,1201,1210,";
    list +=
        u"1211,1220,1221,1230,1231,1240,1241,1250,1251,1260,1261,1270,1271,1280,1281,1290,"
        u"1292,1294,1350,1380,1390,";
    list += u"1400,1410,1420,1570,2800,2810,2820,2830,2850,2862,2863,2864,";
    list += u"2865,2866,2867,2868,2880,2890,2900,3020,3231,3250";
    return list;
}

std::u16string AbstractItemList() {
    std::u16string list =
        u"20,220,380,390,400,410,440,522,523,670,672,674,690,700,710,720,730,740,820,830,";
    list +=
        u"1200,1201,1210,1211,1220,1221,1230,1231,1240,1241,1250,1251,1260,1261,1270,1271,"
        u"1280,1281,1290,1292,1294,1350,1380,1390,";
    list +=
        u"1400,1410,1420,1570,2520,2530,2540,2550,2560,2570,2580,2590,2600,2610,2620,2630,"
        u"2640,2650,2660,2670,2680,2800,2810,2820,2830,2850,";
    list += u"2862,2863,2864,2865,2866,2867,2868,2880,2890,2900,3020,3250";
    return list;
}

std::vector<std::u16string> SplitItemList(std::u16string_view list) {
    std::vector<std::u16string> items;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(u',', start);
        if (comma == std::u16string_view::npos) {
            items.emplace_back(list.substr(start));
            return items;
        }
        items.emplace_back(list.substr(start, comma - start));
        start = comma + 1;
    }
}

}  // namespace mae
