#include "layout/LayoutLoader.h"

#include <span>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "layout/Identifier.h"

namespace mae {

namespace {

// Runs one conversion of a layout row's value; a failure names the item and the table.
template <typename Convert>
auto Converted(const Recordset& row, std::u16string_view column, std::u16string_view item,
               std::u16string_view table, Convert convert) {
    try {
        return convert(row.Field(column));
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.number(), e.description() + " (column " + ToUtf8(column) +
                                           " of item " + ToUtf8(item) + " in layout table " +
                                           ToUtf8(table) + ")");
    }
}

// The columns of one query's result, by the name the result gives each (ItemLayout::ColumnName):
// the writers find a value by that name, so two different columns of one name would give both
// items the value of the first. The same column twice (in any letter case) is one column.
class ResultColumns {
  public:
    // The columns the query selects besides the items (CaseSelection.cpp): MedrefID first, and
    // after the items the case query's medrefid, grpsite2 and grpsite3, the abstract query's
    // remarks.
    ResultColumns(LayoutKind kind, std::u16string_view table) : m_table(ToUtf8(table)) {
        static constexpr std::u16string_view consolidated[] = {u"Medicalsum.medrefid", u"grpsite2",
                                                               u"grpsite3"};
        static constexpr std::u16string_view abstract[] = {u"medrefid", u"remarks"};
        const std::span<const std::u16string_view> own =
            kind == LayoutKind::Consolidated ? std::span<const std::u16string_view>(consolidated)
                                             : std::span<const std::u16string_view>(abstract);
        for (std::u16string_view column : own) {
            Add(column, "the column " + ToUtf8(column) + " that the program selects itself");
        }
    }
    // selected: the column as the select list names it; whose: who named it, for the message.
    void Add(std::u16string_view selected, const std::string& whose) {
        std::u16string name = ResultColumnName(selected);
        for (const Column& c : m_columns) {
            if (!EqualsIgnoreCase(c.name, name) || EqualsIgnoreCase(c.selected, selected)) continue;
            throw ErrorOf(err::InvalidCall,
                          c.whose + " and " + whose + " in layout table " + m_table +
                              " are different columns that the query's result names alike ('" +
                              ToUtf8(name) +
                              "'), so one item would get the other's value; make them name the "
                              "same column, or columns of different names, in the control "
                              "database.");
        }
        m_columns.push_back({std::u16string(selected), std::move(name), whose});
    }

  private:
    struct Column {
        std::u16string selected, name;
        std::string whose;
    };
    std::string m_table;
    std::vector<Column> m_columns;
};

}  // namespace

std::u16string CheckedTableName(std::u16string_view controlTableName) {
    if (controlTableName.empty()) return {};
    return CheckedIdentifier(controlTableName,
                             "the layout table named in naaccrparameters.controltablename");
}

void LoadLayout(LayoutKind kind, const std::vector<std::u16string>& itemNumbers,
                Connection& control, std::u16string_view controlTableName,
                Recordset& layoutRecordset, Layout& layout, std::u16string& selectList) {
    if (itemNumbers.size() > 32767) {
        throw ErrorOf(err::Overflow, "more layout items than the loader counts");
    }
    layout.assign(itemNumbers.size(), ItemLayout{});
    for (size_t p = 0; p < itemNumbers.size(); ++p) layout[p].ItemNumber = itemNumbers[p];
    selectList.clear();
    const std::u16string table = CheckedTableName(controlTableName);
    ResultColumns columns(kind, table);

    for (size_t p = 0; p < itemNumbers.size(); ++p) {
        const std::u16string& item = itemNumbers[p];
        if (layoutRecordset.IsOpen()) layoutRecordset.Close();
        std::u16string sql = u"select * from ";
        sql += table;
        sql += u" where naaccr_item_no=";
        sql += item;
        layoutRecordset.Open(sql, control);
        if (layoutRecordset.Eof()) continue;  // no row: the entry stays empty

        ItemLayout& entry = layout[p];
        entry.ColumnStart = Converted(layoutRecordset, u"ColumnStart", item, table,
                                      [](const Value& v) { return ToInt16(v); });
        entry.FieldLength = Converted(layoutRecordset, u"FieldLength", item, table,
                                      [](const Value& v) { return ToInt16(v); });
        entry.FieldName = Converted(layoutRecordset, u"FieldName", item, table,
                                    [](const Value& v) { return DirectText(v); });
        entry.Prompting = Converted(layoutRecordset, u"Prompting", item, table,
                                    [](const Value& v) { return DirectText(v); });

        if (entry.IsTextEntry()) continue;  // text items are not columns of the query
        // A column item's name goes into the case or abstract query: a name, or start-up ends.
        // The entry keeps it without the blanks a fixed-width column pads it with, so that the
        // writers find the query's column by it.
        entry.FieldName =
            CheckedIdentifier(entry.FieldName, "the FieldName of item " + ToUtf8(item) +
                                                   " in layout table " + ToUtf8(table));
        std::u16string name = entry.FieldName;
        // The case query joins patients, medicalsum and medicalsum_2: item 20's column is
        // qualified with its table there.
        if (kind == LayoutKind::Consolidated && entry.IsItem20()) name = u"Patients." + name;
        columns.Add(
            name, "the FieldName of item " + ToUtf8(item) + " ('" + ToUtf8(entry.FieldName) + "')");
        if (!selectList.empty()) selectList += u", ";
        selectList += name;
    }
    selectList =
        (kind == LayoutKind::Consolidated ? u"Medicalsum.medrefid, " : u"medrefid, ") + selectList;
}

}  // namespace mae
