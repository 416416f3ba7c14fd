#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "generator/RegistryGenerator.h"
#include "generator/SqliteFile.h"

namespace mae::gen {

namespace {

struct CsvItem {
    std::string name;
    std::string longLabel;
    int start = 0;
    int length = 0;
};

// Splits one CSV line; a field in double quotes may hold commas and doubled quotes.
std::vector<std::string> SplitCsvLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

int ParseCount(const std::string& text, const std::string& where) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < 0) {
        throw std::runtime_error(where + ": \"" + text + "\" is not a number");
    }
    return value;
}

// item_number,name,long_label,start,length,... keyed by item number.
std::map<int, CsvItem> ReadLayoutCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the layout " + path);
    std::map<int, CsvItem> items;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNumber == 1 || line.empty()) continue;  // header
        std::string where = path + " line " + std::to_string(lineNumber);
        std::vector<std::string> f = SplitCsvLine(line);
        if (f.size() < 5) throw std::runtime_error(where + ": fewer than 5 fields");
        CsvItem item{f[1], f[2], ParseCount(f[3], where), ParseCount(f[4], where)};
        items.emplace(ParseCount(f[0], where), std::move(item));
    }
    return items;
}

bool IsPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

std::string ConnectionString(const std::string& dbPath) {
    std::string absolute = std::filesystem::absolute(dbPath).lexically_normal().string();
    if (absolute.find_first_of(";\r\n") != std::string::npos) {
        throw std::invalid_argument(
            "a database path with \";\" or a line break cannot go into "
            "a connection string: " +
            absolute);
    }
    std::string value = "Driver=SQLite3;Database=" + absolute;
    // The program reads ini values through a 250-character buffer: a longer one arrives cut.
    if (value.size() > 249) {
        throw std::invalid_argument("the connection string for " + absolute +
                                    " is longer than 249 characters");
    }
    return value;
}

}  // namespace

const std::string& DefaultLayoutCsvPath() {
    static const std::string path = MAE_LAYOUT_CSV;
    return path;
}

void WriteControlDatabase(const std::string& path, const std::string& layoutCsvPath,
                          const std::string& tableName) {
    // The name goes into statements unquoted, as the program will send it.
    if (!IsPlainName(tableName)) {
        throw std::invalid_argument("layout table name must be letters, digits and _: " +
                                    tableName);
    }
    std::map<int, CsvItem> csv = ReadLayoutCsv(layoutCsvPath);

    SqliteFile db(path);
    db.Exec("BEGIN");
    db.Exec(
        "CREATE TABLE naaccrparameters (controltablename TEXT, naaccrversion TEXT, "
        "[current] INTEGER)");
    // An earlier layout stays in the table but is no longer current.
    db.Exec("INSERT INTO naaccrparameters VALUES ('naaccr12layout', '122', 0)");
    {
        SqliteStatement current(db, "INSERT INTO naaccrparameters VALUES (?, '130', -1)");
        current.BindText(1, tableName);
        current.Run();
    }
    db.Exec("CREATE TABLE " + tableName +
            " (naaccr_item_no INTEGER, ColumnStart INTEGER, FieldLength INTEGER, FieldName TEXT, "
            "Prompting TEXT, LongLabel TEXT)");
    {
        SqliteStatement insert(db, "INSERT INTO " + tableName + " VALUES (?, ?, ?, ?, ?, ?)");
        for (const ItemColumn& item : ItemColumns()) {
            auto found = csv.find(item.item);
            if (found == csv.end()) {
                throw std::runtime_error(layoutCsvPath + " has no item " +
                                         std::to_string(item.item));
            }
            insert.BindInt(1, item.item);
            insert.BindInt(2, found->second.start);
            insert.BindInt(3, found->second.length);
            insert.BindText(4, item.column);
            insert.BindText(5, item.textItem ? "X" : "");
            insert.BindText(6, found->second.longLabel);
            insert.Run();
        }
    }
    db.Exec("CREATE INDEX " + tableName + "_item ON " + tableName + " (naaccr_item_no)");
    db.Exec("COMMIT");
    db.Close();
}

void WriteIni(const std::string& folder, const std::string& controlDbPath,
              const std::string& registryDbPath, const std::string& scanText) {
    if (scanText.find_first_of("\r\n") != std::string::npos) {
        throw std::invalid_argument("ScanText cannot hold a line break");
    }
    std::string text = "[Databases]\r\nControl=" + ConnectionString(controlDbPath) +
                       "\r\nRegistry=" + ConnectionString(registryDbPath) +
                       "\r\n\r\n[Options]\r\nScanText=" + scanText + "\r\n";
    std::string path = (std::filesystem::path(folder) / "Meridane.ini").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace mae::gen
