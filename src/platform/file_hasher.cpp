#include "platform/file_hasher.h"

#include "platform/loaded_library.h"

#include <QMetaObject>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// The library's name follows the major version of the headers built with.
static_assert(OPENSSL_VERSION_MAJOR == 3, "libcrypto.so.3 is the library these headers describe");

// libcrypto's digest functions, looked up the first time a file is hashed.
struct Evp
{
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_sha512) sha512 = nullptr;
    decltype(&EVP_md5) md5 = nullptr;
    decltype(&EVP_MD_CTX_new) newContext = nullptr;
    decltype(&EVP_MD_CTX_free) freeContext = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;
    QString failure; // why libcrypto could not be loaded; empty once it was
};

const Evp &evp()
{
    static const Evp functions = [] {
        LoadedLibrary library("libcrypto.so.3");
        Evp found;
        library.find(found.sha256, "EVP_sha256");
        library.find(found.sha512, "EVP_sha512");
        library.find(found.md5, "EVP_md5");
        library.find(found.newContext, "EVP_MD_CTX_new");
        library.find(found.freeContext, "EVP_MD_CTX_free");
        library.find(found.init, "EVP_DigestInit_ex");
        library.find(found.update, "EVP_DigestUpdate");
        library.find(found.final, "EVP_DigestFinal_ex");
        found.failure = library.failure();
        return found;
    }();
    return functions;
}

const EVP_MD *methodOf(const Evp &functions, HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return functions.sha256();
    case HashAlgorithm::Sha512:
        return functions.sha512();
    case HashAlgorithm::Md5:
        return functions.md5();
    }
    return nullptr;
}

// Only with a libcrypto loaded whole. A libcrypto whose configuration
// offers no such digest (its providers, a FIPS mode without MD5) has it
// all the same, and fails each step: the digest is then none.
struct Context
{
    Context(const Evp &functions, HashAlgorithm algorithm)
        : functions(functions), method(methodOf(functions, algorithm)), context(functions.newContext())
    {
        restart();
    }
    ~Context() { functions.freeContext(context); }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;
    void restart() { failed = !method || !context || functions.init(context, method, nullptr) != 1; }
    void add(const char *data, size_t size) { failed = failed || functions.update(context, data, size) != 1; }
    std::optional<QByteArray> result()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        if (failed || functions.final(context, digest, &size) != 1)
            return std::nullopt;
        return QByteArray(reinterpret_cast<const char *>(digest), int(size));
    }
    const Evp &functions;
    const EVP_MD *method;
    EVP_MD_CTX *context;
    bool failed = false;
};

} // namespace

// What the hasher's object and its thread share; the thread keeps it alive
// after the object is gone, and closes the descriptors when it ends.
struct GrowingFileHasher::Shared
{
    ~Shared()
    {
        for (const int fd : {file, changes, wake})
            if (fd >= 0)
                ::close(fd);
    }
    int file = -1;
    int changes = -1; // inotify: the file was written; -1 when unavailable
    int wake = -1;    // eventfd: finish() was called, or the object is gone
    std::atomic<bool> stop = false;
    std::mutex mutex; // guards receiver, wanted and ended
    GrowingFileHasher *receiver = nullptr;
    qint64 wanted = -1;
    bool ended = false; // no thread reads: it could not start, or it has delivered

    void run(HashAlgorithm algorithm);
    void deliver(const std::optional<QByteArray> &digest);
};

void GrowingFileHasher::Shared::deliver(const std::optional<QByteArray> &digest)
{
    const std::lock_guard guard(mutex);
    ended = true;
    if (GrowingFileHasher *object = receiver)
        QMetaObject::invokeMethod(object, [object, digest] { emit object->finished(digest); }, Qt::QueuedConnection);
}

void GrowingFileHasher::Shared::run(HashAlgorithm algorithm)
{
    // Loaded here, off the window's thread.
    const Evp &functions = evp();
    if (!functions.failure.isEmpty()) {
        deliver(std::nullopt);
        return;
    }
    Context context(functions, algorithm);
    if (context.failed) {
        deliver(std::nullopt);
        return;
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 position = 0;
    while (!stop) {
        qint64 wantedNow;
        {
            const std::lock_guard guard(mutex);
            wantedNow = wanted;
        }
        struct stat status{};
        const bool measured = ::fstat(file, &status) == 0;
        if (measured && status.st_size < position) {
            context.restart();
            position = 0;
        }
        // Everything on disk now, up to what is asked for; while the writer
        // goes on, only once a whole buffer's worth has come, so that its
        // many small writes cost a wake-up each and no more.
        const bool readNow = wantedNow >= 0 || !measured || status.st_size - position >= buffer.size();
        while (readNow && !stop) {
            const qint64 room = wantedNow >= 0 ? std::min<qint64>(buffer.size(), wantedNow - position) : buffer.size();
            const ssize_t read = room > 0 ? ::pread(file, buffer.data(), size_t(room), position) : 0;
            if (read < 0 && errno == EINTR)
                continue;
            if (read < 0) {
                deliver(std::nullopt);
                return;
            }
            if (read == 0)
                break;
            context.add(buffer.constData(), size_t(read));
            position += read;
        }
        if (wantedNow >= 0) {
            deliver(position == wantedNow ? context.result() : std::nullopt);
            return;
        }
        pollfd waits[2] = {{wake, POLLIN, 0}, {changes, POLLIN, 0}};
        if (::poll(waits, changes >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) {
            deliver(std::nullopt);
            return;
        }
        char events[4096];
        if (waits[1].revents & POLLIN)
            while (::read(changes, events, sizeof events) > 0) {
            }
        if (waits[0].revents & POLLIN) {
            eventfd_t count;
            ::eventfd_read(wake, &count);
        }
    }
}

GrowingFileHasher::GrowingFileHasher(int descriptor, HashAlgorithm algorithm, QObject *parent)
    : QObject(parent), shared_(std::make_shared<Shared>())
{
    // A path through the descriptor opens the very inode, with an open file
    // of its own, and inotify watches that inode whatever its name becomes.
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(descriptor);
    shared_->file = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    shared_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    shared_->changes = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    // Without inotify the file is read once asked for: slower, still right.
    if (shared_->changes >= 0 && ::inotify_add_watch(shared_->changes, path.constData(), IN_MODIFY) < 0) {
        ::close(shared_->changes);
        shared_->changes = -1;
    }
    shared_->receiver = this;
    if (shared_->file < 0 || shared_->wake < 0) {
        shared_->ended = true;
        return;
    }
    std::thread([shared = shared_, algorithm] { shared->run(algorithm); }).detach();
}

std::optional<QString> GrowingFileHasher::libraryFailure(HashAlgorithm algorithm)
{
    const Evp &functions = evp();
    if (!functions.failure.isEmpty())
        return QStringLiteral("libcrypto could not be loaded (%1)").arg(functions.failure);
    if (Context(functions, algorithm).failed)
        return QStringLiteral("libcrypto's configuration offers no such digest");
    return std::nullopt;
}

GrowingFileHasher::~GrowingFileHasher()
{
    {
        const std::lock_guard guard(shared_->mutex);
        shared_->receiver = nullptr;
    }
    shared_->stop = true;
    if (shared_->wake >= 0)
        ::eventfd_write(shared_->wake, 1);
}

void GrowingFileHasher::finish(qint64 length)
{
    {
        const std::lock_guard guard(shared_->mutex);
        if (!shared_->ended) {
            shared_->wanted = length;
            ::eventfd_write(shared_->wake, 1);
            return;
        }
    }
    // No thread is left to answer (the file could not be opened, or reading
    // it failed while it grew, when nobody was listening): answer at once.
    shared_->deliver(std::nullopt);
}

} // namespace platform
