// Preloaded (LD_PRELOAD) into a run's process to make one rename go wrong, as a file held open
// by another program or a power cut would: MAE_RENAME_SHIM="<what>:<name>", where what is
// fail-from or fail-to (the first rename whose source or target is the file named name fails
// with EBUSY; later ones work) or kill-from or kill-to (the process is killed there, before
// that rename).
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const Rename real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    const char* setting = std::getenv("MAE_RENAME_SHIM");
    const char* colon = setting ? std::strchr(setting, ':') : nullptr;
    if (colon) {
        const char* from_ = std::strstr(setting, "from");
        const bool source = from_ && from_ < colon;
        const char* name = source ? from : to;
        static bool failed = false;
        if (!failed && std::strcmp(BaseName(name), colon + 1) == 0) {
            if (std::strncmp(setting, "kill", 4) == 0) ::kill(::getpid(), SIGKILL);
            failed = true;
            errno = EBUSY;
            return -1;
        }
    }
    return real(from, to);
}
