// The Linux stand-in for the host's ConnectionStringProvider: the registry's string from
// Meridane.ini.
#include <limits>

#include "app/startup/ConnectionStringProvider.h"
#include "app/startup/ProfileReader.h"
#include "common/RuntimeError.h"

namespace mae {

namespace {

// A value read from the file ends at its first NUL, so a lone NUL as the default can only come
// back when the key (or the whole file) is missing.
constexpr std::u16string_view MissingKey{u"\0", 1};

}  // namespace

std::u16string ConnectionStringProvider::GetConnectionString() const {
    // The registry's connection string is taken whole, however long: unlike Control and
    // ScanText it is not read through the 250-character buffer.
    std::u16string value = ReadProfileString(u"Databases", u"Registry", MissingKey,
                                             std::numeric_limits<size_t>::max());
    if (value == MissingKey) {
        // A file that is there but cannot be read gives no key either: say what is wrong.
        const std::string unreadable = ProfileFileUnreadable();
        if (!unreadable.empty()) {
            throw ErrorOf(err::CannotCreate, "the registry connection string is not available (" +
                                                 std::string(IniFileName) + " in " +
                                                 WindowsFolder() +
                                                 " cannot be read: " + unreadable + ")");
        }
        throw ErrorOf(err::CannotCreate,
                      "the registry connection string is not available (no key Registry in "
                      "section [Databases] of " +
                          std::string(IniFileName) + " in " + WindowsFolder() + ")");
    }
    return value;
}

}  // namespace mae
