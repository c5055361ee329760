#include "platform/confinement.h"

#include "platform/loaded_library.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Landlock's interface, spelt out here: the kernel headers Brindle builds
// with may stop at an older ABI than the kernel it runs on.
struct RulesetAttributes
{
    quint64 handledAccessFs;
    quint64 handledAccessNet; // ABI 4
    quint64 scoped;           // ABI 6
};
struct __attribute__((packed)) PathBeneath
{
    quint64 allowedAccess;
    qint32 parentFd;
};
struct NetPort
{
    quint64 allowedAccess;
    quint64 port;
};
constexpr unsigned kCreateRulesetVersion = 1u << 0;
constexpr int kRulePathBeneath = 1;
constexpr int kRuleNetPort = 2;

constexpr quint64 kExecute = 1ull << 0;
constexpr quint64 kWriteFile = 1ull << 1;
constexpr quint64 kReadFile = 1ull << 2;
constexpr quint64 kReadDir = 1ull << 3;
constexpr quint64 kAbi1Fs = (1ull << 13) - 1; // execute .. make symbolic link
constexpr quint64 kRefer = 1ull << 13;        // ABI 2
constexpr quint64 kTruncate = 1ull << 14;     // ABI 3
constexpr quint64 kIoctlDevice = 1ull << 15;  // ABI 5
constexpr quint64 kBindTcp = 1ull << 0;       // ABI 4
constexpr quint64 kConnectTcp = 1ull << 1;    // ABI 4
constexpr quint64 kScopeAbstractUnixSocket = 1ull << 0; // ABI 6
constexpr quint64 kScopeSignal = 1ull << 1;             // ABI 6

long createRuleset(const RulesetAttributes *attributes, size_t size, unsigned flags)
{
    return ::syscall(SYS_landlock_create_ruleset, attributes, size, flags);
}

long addRule(int ruleset, int type, const void *rule)
{
    return ::syscall(SYS_landlock_add_rule, ruleset, type, rule, 0);
}

// Allows `access` on what `path` leads to (the folder and all beneath it,
// or the file itself); a path that does not exist is left out.
void allowPath(int ruleset, const char *path, quint64 access, quint64 handled)
{
    const int fd = ::open(path, O_PATH | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    // Rights on a file are only the rights a file has.
    if (::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode))
        access &= kExecute | kWriteFile | kReadFile | kTruncate | kIoctlDevice;
    PathBeneath rule{access & handled, fd};
    addRule(ruleset, kRulePathBeneath, &rule);
    ::close(fd);
}

} // namespace

// The seccomp program, exported once from libseccomp and kept.
struct Confinement::Filter
{
    std::vector<sock_filter> instructions;
    sock_fprog program{};
};

namespace {

// Unix sockets, ptrace, other processes' memory and io_uring, refused.
const Confinement::Filter *buildFilter();

} // namespace

int landlockAbi()
{
    const long abi = createRuleset(nullptr, 0, kCreateRulesetVersion);
    return abi > 0 ? static_cast<int>(abi) : 0;
}

Confinement Confinement::prepare(const QByteArray &program, const Reach &reach)
{
    const Filter *filter = buildFilter();
    unsigned parts = filter ? unsigned(SocketsAndPtrace) : 0u;
    const int abi = landlockAbi();
    if (abi < 1)
        return Confinement(-1, parts, filter);

    quint64 handledFs = kAbi1Fs;
    if (abi >= 2)
        handledFs |= kRefer;
    if (abi >= 3)
        handledFs |= kTruncate;
    if (abi >= 5)
        handledFs |= kIoctlDevice;
    RulesetAttributes attributes{handledFs, 0, 0};
    size_t size = sizeof attributes.handledAccessFs;
    if (abi >= 4) {
        attributes.handledAccessNet = kBindTcp | kConnectTcp;
        size = offsetof(RulesetAttributes, scoped);
    }
    if (abi >= 6) {
        attributes.scoped = kScopeAbstractUnixSocket | kScopeSignal;
        size = sizeof attributes;
    }
    const int ruleset = static_cast<int>(createRuleset(&attributes, size, 0));
    if (ruleset < 0)
        return Confinement(-1, parts, filter);

    constexpr quint64 kReadAndExecute = kExecute | kReadFile | kReadDir;
    for (const char *system : {"/usr", "/etc", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"})
        allowPath(ruleset, system, kReadAndExecute, handledFs);
    // The resolver's configuration lives where /etc/resolv.conf leads
    // (/run/systemd/resolve under systemd-resolved).
    char resolver[PATH_MAX];
    if (::realpath("/etc/resolv.conf", resolver))
        allowPath(ruleset, resolver, kReadFile, handledFs);
    allowPath(ruleset, program.constData(), kExecute | kReadFile, handledFs);
    allowPath(ruleset, "/dev/null", kReadFile | kWriteFile, handledFs);
    for (const char *device : {"/dev/zero", "/dev/urandom"})
        allowPath(ruleset, device, kReadFile, handledFs);
    for (const QByteArray &file : reach.readableFiles)
        allowPath(ruleset, file.constData(), kReadFile, handledFs);
    if (reach.writableFile >= 0) {
        PathBeneath rule{(kReadFile | kWriteFile | kTruncate) & handledFs, reach.writableFile};
        addRule(ruleset, kRulePathBeneath, &rule);
    }
    parts |= Files;

    if (abi >= 4) {
        for (const quint16 port : reach.ports) {
            NetPort rule{kConnectTcp, port};
            addRule(ruleset, kRuleNetPort, &rule);
        }
        parts |= Network;
    }
    if (abi >= 6)
        parts |= Signals;
    return Confinement(ruleset, parts, filter);
}

Confinement::Confinement(Confinement &&other) noexcept
    : ruleset_(other.ruleset_), parts_(other.parts_), filter_(other.filter_)
{
    other.ruleset_ = -1;
}

Confinement::~Confinement()
{
    if (ruleset_ >= 0)
        ::close(ruleset_);
}

int Confinement::applyInChild() const noexcept
{
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return errno;
    if (ruleset_ >= 0 && ::syscall(SYS_landlock_restrict_self, ruleset_, 0) != 0)
        return errno;
    // The filter guards what wget reaches, not wget's own memory from
    // itself: the kernel's speculative-store mitigation, which it would
    // otherwise switch on for a filtered process, would only slow wget.
    if (filter_ && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_SPEC_ALLOW, &filter_->program) != 0
        && (errno != EINVAL || ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &filter_->program) != 0))
        return errno;
    return 0;
}

namespace {

// The library's name follows the major version of the headers built with.
static_assert(SCMP_VER_MAJOR == 2, "libseccomp.so.2 is the library these headers describe");

// libseccomp's functions that build and export the filter, looked up when
// the first confinement is prepared.
struct Seccomp
{
    decltype(&seccomp_init) init = nullptr;
    decltype(&seccomp_attr_set) setAttribute = nullptr;
    decltype(&seccomp_rule_add) addRule = nullptr;
    decltype(&seccomp_export_bpf) exportProgram = nullptr;
    decltype(&seccomp_release) release = nullptr;
};

const Confinement::Filter *buildFilter()
{
    static const std::unique_ptr<Confinement::Filter> filter = []() -> std::unique_ptr<Confinement::Filter> {
        LoadedLibrary library("libseccomp.so.2");
        Seccomp seccomp;
        library.find(seccomp.init, "seccomp_init");
        library.find(seccomp.setAttribute, "seccomp_attr_set");
        library.find(seccomp.addRule, "seccomp_rule_add");
        library.find(seccomp.exportProgram, "seccomp_export_bpf");
        library.find(seccomp.release, "seccomp_release");
        if (!library.failure().isEmpty())
            return nullptr;
        const scmp_filter_ctx context = seccomp.init(SCMP_ACT_ALLOW);
        if (!context)
            return nullptr;
        const uint32_t refuse = SCMP_ACT_ERRNO(EACCES);
        bool built = seccomp.setAttribute(context, SCMP_FLTATR_CTL_NNP, 0) == 0;
        for (const int call : {SCMP_SYS(socket), SCMP_SYS(socketpair)})
            built = built && seccomp.addRule(context, refuse, call, 1, SCMP_A0(SCMP_CMP_EQ, AF_UNIX)) == 0;
        // Packet and raw sockets would see other programs' traffic and send
        // TCP past the network rules (where the user may open them).
        built = built && seccomp.addRule(context, refuse, SCMP_SYS(socket), 1, SCMP_A0(SCMP_CMP_EQ, AF_PACKET)) == 0;
        // SOCK_PACKET is the old way to a packet socket through AF_INET.
        for (const int domain : {AF_INET, AF_INET6})
            for (const int type : {SOCK_RAW, SOCK_PACKET})
                built = built
                        && seccomp.addRule(context, refuse, SCMP_SYS(socket), 2,
                                           SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(domain)),
                                           SCMP_A1(SCMP_CMP_MASKED_EQ, 0xf, static_cast<scmp_datum_t>(type)))
                               == 0;
        // setsid and setpgid would take a process out of wget's group, out
        // of the reach of Pause and closing; the group is made before this.
        for (const int call : {SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
                               SCMP_SYS(io_uring_setup), SCMP_SYS(setsid), SCMP_SYS(setpgid)})
            built = built && seccomp.addRule(context, refuse, call, 0) == 0;
        // Exported through an anonymous file: this libseccomp writes only to descriptors.
        const int exported = built ? ::memfd_create("brindle-filter", MFD_CLOEXEC) : -1;
        built = exported >= 0 && seccomp.exportProgram(context, exported) == 0;
        seccomp.release(context);
        auto result = std::make_unique<Confinement::Filter>();
        struct stat info {};
        if (built && ::fstat(exported, &info) == 0 && info.st_size > 0
            && info.st_size % static_cast<off_t>(sizeof(sock_filter)) == 0) {
            result->instructions.resize(static_cast<size_t>(info.st_size) / sizeof(sock_filter));
            built = ::pread(exported, result->instructions.data(), static_cast<size_t>(info.st_size), 0)
                    == info.st_size;
        } else {
            built = false;
        }
        if (exported >= 0)
            ::close(exported);
        if (!built)
            return nullptr;
        result->program.len = static_cast<unsigned short>(result->instructions.size());
        result->program.filter = result->instructions.data();
        return result;
    }();
    return filter.get();
}

} // namespace

} // namespace platform
