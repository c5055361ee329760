#include "platform/loaded_library.h"

#include <dlfcn.h>

namespace platform {

LoadedLibrary::LoadedLibrary(const char *soname) : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL))
{
    if (!handle_)
        failure_ = QString::fromLocal8Bit(::dlerror());
}

void *LoadedLibrary::symbol(const char *name)
{
    if (!handle_)
        return nullptr;
    ::dlerror();
    void *found = ::dlsym(handle_, name);
    if (!found) {
        const char *why = ::dlerror();
        failure_ = why ? QString::fromLocal8Bit(why) : QLatin1String(name) + QLatin1String(" is null");
    }
    return found;
}

} // namespace platform
