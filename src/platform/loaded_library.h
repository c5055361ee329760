#pragma once
// A shared library that only some presses need, loaded (dlopen) when it is
// first asked for instead of at the program's start: a window that never
// needs it neither maps it nor waits for its loading, unless another
// library brings it (Debian 13's libproxy, under Qt Network, brings
// libcrypto through libcurl). Its functions are
// looked up by name and typed from the library's own header, so the build
// still checks every call against it. A library once loaded stays for the
// program's life (libraries such as libcrypto cannot be unloaded safely).
// dlopen is not async-signal-safe: look everything up before fork.

#include <QString>

namespace platform {

class LoadedLibrary
{
public:
    // Loads `soname`, the name the dynamic loader finds it by
    // ("libcrypto.so.3"), or finds it already loaded.
    explicit LoadedLibrary(const char *soname);
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    // Sets `function` to the library's function `name`, declared by its
    // header as `Function` (`decltype(&EVP_sha256)`); to nullptr when the
    // library or the function is missing, and failure() then says why.
    template <typename Function>
    void find(Function *&function, const char *name)
    {
        function = reinterpret_cast<Function *>(symbol(name));
    }

    // Why the library, or a function asked for, is missing, in the loader's
    // words; empty while nothing is.
    const QString &failure() const { return failure_; }

private:
    void *symbol(const char *name);

    void *handle_ = nullptr;
    QString failure_;
};

} // namespace platform
