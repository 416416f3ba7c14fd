#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mae {

// The NAACCR item numbers of the consolidated record and of the abstract record,
// comma-separated, and how many each holds.
inline constexpr std::u16string_view ConsolidatedItems =
    u"20,220,380,390,400,410,440,522,523,820,830,1200,1201,1210,1211,1220,1221,1230,"
    u"1231,1240,1241,1250,1251,1260,1261,1270,1271,1280,1281,1290,1292,1294,1350,1380,"
    u"1390,1400,1410,1420,1570,2800,2810,2820,2830,2850,2862,2863,2864,2865,2866,2867,"
    u"2868,2880,2890,2900,3020,3231,3250";
inline constexpr std::u16string_view AbstractItems =
    u"20,220,380,390,400,410,440,522,523,670,672,674,690,700,710,720,730,740,820,830,"
    u"1200,1201,1210,1211,1220,1221,1230,1231,1240,1241,1250,1251,1260,1261,1270,1271,"
    u"1280,1281,1290,1292,1294,1350,1380,1390,1400,1410,1420,1570,2520,2530,2540,2550,"
    u"2560,2570,2580,2590,2600,2610,2620,2630,2640,2650,2660,2670,2680,2800,2810,2820,"
    u"2830,2850,2862,2863,2864,2865,2866,2867,2868,2880,2890,2900,3020,3250";

constexpr size_t CountItems(std::u16string_view list) {
    size_t n = 1;
    for (char16_t c : list) n += c == u',';
    return n;
}
inline constexpr size_t ConsolidatedItemCount = CountItems(ConsolidatedItems);
inline constexpr size_t AbstractItemCount = CountItems(AbstractItems);

inline std::u16string ConsolidatedItemList() { return std::u16string(ConsolidatedItems); }
inline std::u16string AbstractItemList() { return std::u16string(AbstractItems); }
// Cuts a list at every ",", keeping empty pieces.
std::vector<std::u16string> SplitItemList(std::u16string_view list);

}  // namespace mae
