// The control of the planted-DLL test (scripts/test-windows-planted.sh): a program that imports
// comctl32 and odbc32 the usual way, so that the loader looks for them, and what they load, in its
// own folder first. DLLs planted beside it must be loaded, or the plant proves nothing.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commctrl.h>
#include <sql.h>

int main() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    SQLHANDLE env = SQL_NULL_HANDLE;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    return 0;
}
