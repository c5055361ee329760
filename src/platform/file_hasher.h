#pragma once
// A file's digest, computed as its bytes reach the disk: a thread of its
// own, woken each time the file is written (inotify on the file's inode),
// reads what is new once a MiB of it has come, and the rest when asked, so
// that when the writer ends only the last bytes are left
// to hash, and the thread that answers the window never reads the file.
// Hashing uses libcrypto, which uses the processor's SHA instructions,
// loaded by the first hasher's thread (loaded_library.h).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace platform {

enum class HashAlgorithm { Sha256, Sha512, Md5 };

class GrowingFileHasher : public QObject
{
    Q_OBJECT
public:
    // Starts hashing, from its first byte, the file that `descriptor` has
    // open, through an open file of its own (the descriptor's locks are
    // not shared with it). A file that shrinks is hashed again from its
    // start.
    GrowingFileHasher(int descriptor, HashAlgorithm algorithm, QObject *parent = nullptr);
    // Stops the thread without waiting for it; `finished` does not follow.
    ~GrowingFileHasher() override;

    // Asks for the digest of the file's first `length` bytes; `finished`
    // follows, in this object's thread, once they are read. Once only.
    void finish(qint64 length);

    // Why no file can be hashed with `algorithm`: libcrypto could not be
    // loaded (in the loader's words), or its configuration (OPENSSL_CONF)
    // offers no such digest; nothing where it can be. Loads it where no
    // hasher has.
    static std::optional<QString> libraryFailure(HashAlgorithm algorithm);

signals:
    // The digest, or nothing when the file holds fewer bytes than asked
    // for, cannot be read, or libcrypto cannot compute it.
    void finished(const std::optional<QByteArray> &digest);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace platform
